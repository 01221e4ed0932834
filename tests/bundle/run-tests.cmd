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
