@echo off
rem Runs every test program of this bundle (the *_tests.exe beside this file), one after
rem the other, from wherever the bundle was unpacked. Needs an administrator's prompt:
rem the end-to-end tests write to HKEY_LOCAL_MACHINE and make folders under C:\.
rem Ends with "N passed, M failed", counting test programs, and exits 1 on any failure.
setlocal EnableExtensions EnableDelayedExpansion

rem The end-to-end tests delete and recreate the agent key and the web-post library's
rem registration: on a machine with a real agent they would destroy it. This fails closed:
rem both count as absent only when reg can read the registry and answers "not found" (1)
rem for each; any other answer refuses. The test programs look again themselves. The
rem system's own reg, not one that lies in the folder this was started from.
set "reg=%SystemRoot%\System32\reg.exe"
"%reg%" query "HKLM\Software" /reg:32 >nul 2>&1
if !errorlevel! neq 0 (
    echo Refusing to run: "reg query HKLM\Software /reg:32" failed, so this script cannot tell
    echo whether a QUENDA agent is installed here.
    exit /b 2
)
"%reg%" query "HKLM\Software\QUENDA" /reg:32 >nul 2>&1
if !errorlevel! neq 1 (
    echo Refusing to run: HKLM\Software\QUENDA exists, so a QUENDA agent seems installed here.
    echo The end-to-end tests delete and recreate that key. Run them on a machine without the agent.
    exit /b 2
)
"%reg%" query "HKCR\Mavlin.WebPost" >nul 2>&1
if !errorlevel! neq 1 (
    echo Refusing to run: HKCR\Mavlin.WebPost exists, so the agent's web-post library is registered here.
    echo The end-to-end tests delete and recreate that registration. Run them on a machine without the agent.
    exit /b 2
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
echo !passed! passed, !failed! failed
if !failed! neq 0 exit /b 1
exit /b 0
