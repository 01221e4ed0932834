@echo off
rem Runs every test program of this bundle (the *_tests.exe beside this file), one after
rem the other, from wherever the bundle was unpacked. Needs an administrator's prompt:
rem the end-to-end tests write to HKEY_LOCAL_MACHINE and make folders under C:\.
rem Ends with "N passed, M failed", counting test programs, and exits 1 on any failure.
setlocal EnableExtensions EnableDelayedExpansion

rem The end-to-end tests delete and recreate the agent key and the web-post library's
rem registration, the library's class in both registry views: on a machine with a real
rem agent they would destroy them. This fails closed (key-state.cmd): anything it cannot
rem see to be absent refuses. The test programs look again themselves. The system's own
rem reg, not one that lies in the folder this was started from.
set "reg=%SystemRoot%\System32\reg.exe"
set "bundle=%~dp0"
set "classes=HKEY_LOCAL_MACHINE\Software\Classes\CLSID"
set "class={8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}"
"%reg%" query "HKEY_LOCAL_MACHINE\Software" /reg:32 >nul 2>&1
if !errorlevel! neq 0 (
    echo Refusing to run: "reg query HKLM\Software /reg:32" failed, so this script cannot tell
    echo whether a QUENDA agent is installed here.
    exit /b 2
)
call :mustBeAbsent "HKEY_LOCAL_MACHINE\Software\QUENDA" /reg:32 "HKLM\Software\QUENDA"
if !errorlevel! neq 0 exit /b 2
call :mustBeAbsent "HKEY_CLASSES_ROOT\Mavlin.WebPost" "" "HKCR\Mavlin.WebPost"
if !errorlevel! neq 0 exit /b 2
call :mustBeAbsent "%classes%\%class%" /reg:32 "HKLM\Software\Classes\CLSID\%class% (32-bit view)"
if !errorlevel! neq 0 exit /b 2
call :mustBeAbsent "%classes%\%class%" /reg:64 "HKLM\Software\Classes\CLSID\%class% (64-bit view)"
if !errorlevel! neq 0 exit /b 2

rem The end-to-end link rows meet links this prompt makes, as an administrator would: two
rem junctions and a file's symbolic link, each into a scenario the tests make (under Wine
rem make-links.sh has made them on the Linux side already). Their folder lets only the
rem system and the administrators change it, as the rows want of everything but the target.
set "links=C:\Tavrel E2E Links"
set madeLinks=
if not exist "%links%\" (
    mkdir "%links%\library agent"
    icacls "%links%" /inheritance:r /grant:r *S-1-5-18:^(OI^)^(CI^)F *S-1-5-32-544:^(OI^)^(CI^)F >nul
    icacls "%links%" /setowner *S-1-5-32-544 /T /C >nul
    mklink /J "%links%\install" "C:\Tavrel E2E\link install\QUENDA Agent" >nul
    mklink /J "%links%\protected" "C:\Tavrel E2E\link protected\QUENDA Agent" >nul
    mklink "%links%\library agent\Mavlin.dll" "C:\Tavrel E2E\link library\QUENDA Agent\Mavlin.dll" >nul
    set madeLinks=yes
)

set passed=0
set failed=0
rem From the bundle's folder: Wine's cmd expands no wildcard inside quotes.
pushd "%~dp0"
for %%p in (*_tests.exe) do (
    echo ==== %%~nxp
    "%%~fp"
    rem A crash leaves a negative status, which "if errorlevel 1" would take for success.
    if !errorlevel! neq 0 (
        set /a failed+=1
        echo ==== %%~nxp FAILED
    ) else (
        set /a passed+=1
    )
)
popd
rem Only what this made: rmdir takes a junction away without touching where it leads.
if defined madeLinks (
    del "%links%\library agent\Mavlin.dll" >nul 2>&1
    rmdir "%links%\install" >nul 2>&1
    rmdir "%links%\protected" >nul 2>&1
    rmdir /s /q "%links%" >nul 2>&1
)
echo !passed! passed, !failed! failed
if !failed! neq 0 exit /b 1
exit /b 0

rem :mustBeAbsent KEY VIEW SHOWN exits 0 when KEY is absent from the registry VIEW (""
rem for the default one); otherwise it says why it refuses, calling the key SHOWN, and
rem exits 2.
:mustBeAbsent
call "%bundle%key-state.cmd" "%~1" %~2
if "!state!"=="absent" exit /b 0
rem Outside any block: SHOWN may hold a parenthesis.
if not "!state!"=="present" goto :cannotTell
echo Refusing to run: %~3 exists, so a QUENDA agent or its web-post library seems installed here.
echo The end-to-end tests delete and recreate it. Run them on a machine without the agent.
exit /b 2
:cannotTell
echo Refusing to run: cannot tell whether %~3 exists, as on a machine with a QUENDA agent
echo whose key this account may not read. Run the tests on a machine without the agent.
exit /b 2
