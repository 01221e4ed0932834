@echo off
rem key-state.cmd KEY VIEW: sets state to present, absent or unknown for the registry
rem key KEY in VIEW (/reg:32, /reg:64, or "" for the caller's own), for the bundle's
rem scripts, which call it with delayed expansion on. It fails closed: reg answers 1 both
rem for a key that is not there and for one it may not read, and words its messages in
rem the machine's language, so a key counts as absent only where reg lists its parent's
rem subkeys without it (or the parent is absent itself, by the same rule) and cannot open
rem it either. The system's own reg, not one that lies in the folder this was started from.
"%SystemRoot%\System32\reg.exe" query "%~1" %~2 >nul 2>&1
if !errorlevel! equ 0 (
    set "state=present"
    exit /b 0
)
rem (Wine's cmd replaces text only in %-expansion, so the key is split on a line of its own,
rem and reads a file for /f names only from %-expansion.)
set "keyStateKey=%~1"
set "keyStateParent="
set "keyStateLeaf="
for %%i in ("%keyStateKey:\=" "%") do (
    if defined keyStateLeaf (if defined keyStateParent (set "keyStateParent=!keyStateParent!\!keyStateLeaf!") else set "keyStateParent=!keyStateLeaf!")
    set "keyStateLeaf=%%~i"
)
set "state=unknown"
if not defined keyStateParent exit /b 0
set "keyStateChild=!keyStateParent!\!keyStateLeaf!"
set "keyStateListing=%TEMP%\tavrel-key-state-%RANDOM%.txt"
"%SystemRoot%\System32\reg.exe" query "!keyStateParent!" %~2 >"%keyStateListing%" 2>nul
if !errorlevel! neq 0 (
    del "%keyStateListing%" 2>nul
    call "%~f0" "!keyStateParent!" %~2
    if not "!state!"=="absent" set "state=unknown"
    exit /b 0
)
set "state=absent"
for /f "usebackq delims=" %%k in ("%keyStateListing%") do if /i "%%k"=="!keyStateChild!" set "state=unknown"
del "%keyStateListing%" 2>nul
exit /b 0
