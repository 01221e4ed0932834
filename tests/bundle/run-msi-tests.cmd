@echo off
rem Runs the MSI's lifecycle on this machine with the packages in msi\ beside this file
rem (msi\packages.txt names them): install, the same version again, the same after the
rem task was deleted by hand, a repair, an upgrade, a refused downgrade, a failed
rem upgrade, a failed removal, the removal and a failed fresh installation; the upgrade
rem and the removal each with a run of Tavrel in progress, which the step must end
rem without a restart. After each step it checks what msiexec answered, the exe
rem installed, the task and the command it runs, the entries in Programs and Features and
rem the event source. It installs and removes Tavrel for real, and for the runs in
rem progress writes an agent key and registers the web-post test double for a while: run
rem it from an administrator's prompt on a test machine without an agent. Ends with
rem "N passed, M failed", counting steps; exits 1 on any failure, 2 when it refuses.
setlocal EnableExtensions EnableDelayedExpansion

rem The system's own tools, not ones that lie in the folder this was started from.
set "reg=%SystemRoot%\System32\reg.exe"
set "msiexec=%SystemRoot%\System32\msiexec.exe"
set "schtasks=%SystemRoot%\System32\schtasks.exe"
set "find=%SystemRoot%\System32\find.exe"
set "tasklist=%SystemRoot%\System32\tasklist.exe"
set "taskkill=%SystemRoot%\System32\taskkill.exe"
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
set "fc=%SystemRoot%\System32\fc.exe"
set "tasks=%SystemRoot%\System32\Tasks"
if exist "%SystemRoot%\Sysnative\" set "tasks=%SystemRoot%\Sysnative\Tasks"
set "mark=HKEY_LOCAL_MACHINE\Software\TavrelMsiTests"
rem Where Windows Installer notes every product of Tavrel's upgrade code (its packed form).
set "upgrades=HKEY_LOCAL_MACHINE\Software\Classes\Installer\UpgradeCodes\9AACE51DAAE15E5449FB921D95C3004C"
set "uninstall=HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
set "source=HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog\Application\Tavrel"
rem What a run in progress needs: the agent's key, the web-post library's registration (the
rem double's, from a folder of its own), all marked as the tests' own.
set "agent=HKEY_LOCAL_MACHINE\Software\QUENDA"
set "webPost=HKEY_CLASSES_ROOT\Mavlin.WebPost"
set "webPostClass=HKEY_LOCAL_MACHINE\Software\Classes\CLSID\{8A1CC926-0601-4B2B-8E6D-EA4C74A2DFB6}"
set "madeByTests=TavrelTestsMade"
set "folder=%ProgramFiles%\Tavrel"
set "command=%%ProgramFiles%%\Tavrel\Tavrel.exe"
if not "%ProgramFiles(x86)%"=="" (
    set "folder=%ProgramFiles(x86)%\Tavrel"
    set "command=%%ProgramFiles(x86)%%\Tavrel\Tavrel.exe"
)
set "work=%TEMP%\TavrelMsiTests"
if not exist "%work%\" mkdir "%work%"
set "bundle=%~dp0"
set "packages=%~dp0msi"
set "agentFolder=%work%\Agent"
set roles=
for /f "usebackq tokens=1-5" %%a in ("%packages%\packages.txt") do (
    set "roles=!roles! %%a"
    set "version.%%a=%%b"
    set "code.%%a=%%c"
    set "msi.%%a=%packages%\%%d"
    set "exe.%%a=%packages%\%%e"
)
if "!roles!"=="" (
    echo Refusing to run: no packages in "%packages%\packages.txt".
    exit /b 2
)

rem Wine's Task Scheduler keeps no task's command and starts no run on demand, and its
rem installer removes an older version outside the transaction and puts no removed file
rem back: there the steps that need those are skipped. Any answer but "found" counts as
rem Windows.
set wine=
"%reg%" query "HKEY_LOCAL_MACHINE\Software\Wine" /reg:64 >nul 2>&1
if !errorlevel! equ 0 set wine=yes

rem This installs, removes and deletes the task Tavrel: on a machine with Tavrel that it
rem did not install itself, it would destroy it. It fails closed: something counts as
rem absent only where it can be seen to be absent (reg and schtasks answer 1 both for
rem "not found" and for "access denied"); anything it cannot tell refuses.
"%reg%" query "HKEY_LOCAL_MACHINE\Software" /reg:64 >nul 2>&1
if !errorlevel! neq 0 (
    echo Refusing to run: "reg query HKLM\Software /reg:64" failed, so this script cannot tell
    echo whether Tavrel is installed here.
    exit /b 2
)
call "%bundle%key-state.cmd" "%mark%" /reg:64
set "marked=!state!"
call "%bundle%key-state.cmd" "%upgrades%" /reg:64
set "product=!state!"
call :taskState
if "!marked!"=="unknown" set "unknown=%mark%"
if "!product!"=="unknown" set "unknown=%upgrades%"
if "!task!"=="unknown" set "unknown=the task Tavrel (%tasks%)"
rem The agent's key and the web-post registration, in both views: the tests' own only.
set foreign=
if not defined wine for %%k in ("%agent% /reg:32" "%agent% /reg:64" "%webPost% /reg:64" "%webPostClass% /reg:32" "%webPostClass% /reg:64") do call :agentState %%~k
if defined foreign (
    echo Refusing to run: !foreign! exists, not made by these tests, as on a machine with a
    echo QUENDA agent. The runs in progress here would change it. Run them on a machine without one.
    exit /b 2
)
if defined unknown (
    echo Refusing to run: cannot tell whether !unknown! exists.
    exit /b 2
)
if not "!marked!"=="present" (
    if "!product!"=="present" (
        echo Refusing to run: a product with Tavrel's upgrade code is installed here, not by these tests.
        echo They would remove it. Run them on a machine without Tavrel.
        exit /b 2
    )
    if "!task!"=="present" (
        echo Refusing to run: a task Tavrel exists here, not made by these tests.
        echo They would delete it. Run them on a machine without Tavrel.
        exit /b 2
    )
)
rem What an interrupted earlier run of these tests left goes first; then the mark, before
rem anything is installed.
call :cleanUp
if !errorlevel! neq 0 (
    echo Refusing to run: an earlier run of these tests left Tavrel installed, and it cannot be removed.
    exit /b 2
)
"%reg%" add "%mark%" /v Started /d "%~f0" /f /reg:64 >nul
if !errorlevel! neq 0 (
    echo Refusing to run: cannot write %mark%; run this from an administrator's prompt.
    exit /b 2
)

set passed=0
set failed=0
set skipped=0
set heldRun=
rem step NAME STATUS EXE TASK ENTRY ACTION PACKAGE [PROPERTY]: msiexec ACTION with the
rem PACKAGE's msi, then what must hold: its exit STATUS, the EXE installed (a package's
rem role, or none), the TASK (yes or no) and the ENTRY in Programs and Features (a role,
rem or none).
call :step "install" 0 current yes current /i current
call :step "the same version again" 0 current yes current /i current
"%schtasks%" /delete /tn Tavrel /f >nul 2>&1
call :step "the same version again, the task deleted by hand" 0 current no current /i current
call :step "repair" 0 current yes current /i current "REINSTALL=ALL REINSTALLMODE=omus"
call :holdRun "upgrade"
call :step "upgrade" 0 next yes next /i next
call :step "downgrade, refused" 1603 next yes next /i current
if defined wine (call :skip "failed upgrade") else call :step "failed upgrade" 1603 next yes next /i failing "TAVRELTESTFAIL=1"
call :step "upgrade to the failing build" 0 failing yes failing /i failing
if defined wine (call :skip "failed removal") else call :step "failed removal" 1603 failing yes failing /x failing "TAVRELTESTFAIL=1"
call :holdRun "removal"
call :step "removal" 0 none no none /x failing
call :step "failed fresh installation" 1603 none no none /i failing "TAVRELTESTFAIL=1"

call :cleanUp
if !errorlevel! equ 0 (
    "%reg%" delete "%mark%" /f /reg:64 >nul 2>&1
) else (
    echo Tavrel is still installed; %mark% stays, so that the next run may remove it.
    set /a failed+=1
)
if !skipped! neq 0 echo !skipped! skipped under Wine
echo !passed! passed, !failed! failed
if !failed! neq 0 exit /b 1
exit /b 0

:step
set "name=%~1"
set "log=%work%\step-!passed!-!failed!.log"
"%msiexec%" %~6 "!msi.%~7!" %~8 /qn /l*v "!log!"
set "status=!errorlevel!"
rem 9009: cmd could not start msiexec at all (Wine's, under load, now and then), so
rem nothing happened yet and one more start is safe.
if "!status!"=="9009" (
    "%msiexec%" %~6 "!msi.%~7!" %~8 /qn /l*v "!log!"
    set "status=!errorlevel!"
)
call :machineState
set "want=status %~2, exe %~3, task %~4, entry %~5, folder yes, source yes"
if "%~3"=="none" set "want=status %~2, exe %~3, task %~4, entry %~5, folder no, source no"
set "got=status !status!, !machine!"
rem A run held across the step: ended by it (its status above is not 3010).
if defined heldRun (
    call :runState
    set "got=!got!, run before !heldRun!, run after !running!"
    set "want=!want!, run before yes, run after no"
    set "heldRun="
    call :releaseRun
)
if "!got!"=="!want!" (
    set /a passed+=1
    echo passed: !name!
) else (
    set /a failed+=1
    echo FAILED: !name!: !got!; wanted !want! ^(log: !log!^)
)
exit /b 0

:skip
set /a skipped+=1
echo skipped under Wine: %~1
exit /b 0

rem machineState: sets machine to "exe ROLE, task yes|no, entry ROLE, folder yes|no".
rem (Wine's cmd expands no FOR variable inside !...!: the loops call a subroutine.)
:machineState
set "exe=none"
if exist "%folder%\Tavrel.exe" set "exe=other"
if exist "%folder%\Tavrel.exe" for %%r in (%roles%) do call :exeIs %%r
call :taskState
set "taskSeen=cannot tell"
if "!task!"=="absent" set "taskSeen=no"
if "!task!"=="present" (
    set "taskSeen=yes"
    rem The definition as Task Scheduler keeps it, in UTF-16, which find reads (no pipe:
    rem its other end would expand the command's variable).
    if not defined wine (
        "%find%" "<Command>!command!</Command>" "%tasks%\Tavrel" >nul 2>&1
        if !errorlevel! neq 0 set "taskSeen=yes, running another command"
    )
)
set entry=
set separator=
for %%r in (%roles%) do call :entryOf %%r
if not defined entry set "entry=none"
set "folderLeft=no"
if exist "%folder%\" set "folderLeft=yes"
call "%bundle%key-state.cmd" "%source%" /reg:64
set "sourceSeen=cannot tell"
if "!state!"=="present" set "sourceSeen=yes"
if "!state!"=="absent" set "sourceSeen=no"
set "machine=exe !exe!, task !taskSeen!, entry !entry!, folder !folderLeft!, source !sourceSeen!"
exit /b 0

rem holdRun STEP: starts the task and holds its run in the web post (every call fails
rem after a minute, five tries), so that STEP finds Tavrel.exe running; heldRun says
rem whether it did. Skipped under Wine, whose schtasks /run starts nothing.
:holdRun
if defined wine (
    call :skip "a run in progress across the %~1, as Wine's schtasks /run starts none"
    exit /b 0
)
mkdir "%agentFolder%\Configuration" >nul 2>&1
copy /y "%bundle%Mavlin.dll" "%agentFolder%\" >nul
> "%agentFolder%\Mavlin.script" echo false^|delay=60000
> "%agentFolder%\Configuration\Norvick.ini" echo [wpsysuptimedata]
>> "%agentFolder%\Configuration\Norvick.ini" echo URL=http://tavrel-msi-tests.invalid/
"%regsvr32%" /s "%agentFolder%\Mavlin.dll"
for %%v in (/reg:32 /reg:64) do (
    "%reg%" add "%agent%" /v %madeByTests% /d "made by the Tavrel tests, which delete it" /f %%v >nul
    "%reg%" add "%agent%" /v MEMBERID /d M1001 /f %%v >nul
    "%reg%" add "%agent%" /v SITEID /d S2002 /f %%v >nul
    "%reg%" add "%agent%" /v TYPE /d VAMR /f %%v >nul
    "%reg%" add "%agent%" /v REGID /d 417 /f %%v >nul
    "%reg%" add "%agent%" /v InstallationPath /d "%agentFolder%" /f %%v >nul
)
"%schtasks%" /run /tn Tavrel >nul 2>&1
rem Up to half a minute for the run to start (a loop of goto: Wine's cmd misreads a
rem block after "for ... do if").
set waited=0
:waitForRun
"%SystemRoot%\System32\ping.exe" -n 2 127.0.0.1 >nul
call :runState
set /a waited+=1
if "!running!"=="no" if !waited! lss 30 goto :waitForRun
set "heldRun=!running!"
exit /b 0

rem runState: sets running to yes where a process Tavrel.exe runs (by tasklist's CSV,
rem whose image name is not translated).
:runState
set "running=no"
"%tasklist%" /fi "imagename eq Tavrel.exe" /fo csv /nh >"%work%\processes.txt" 2>nul
for /f "usebackq tokens=1 delims=," %%p in ("%work%\processes.txt") do if /i "%%~p"=="Tavrel.exe" set "running=yes"
exit /b 0

rem releaseRun: puts back what holdRun changed: no run, no double, no agent key.
:releaseRun
"%taskkill%" /f /im Tavrel.exe >nul 2>&1
if exist "%agentFolder%\Mavlin.dll" "%regsvr32%" /s /u "%agentFolder%\Mavlin.dll"
for %%k in ("%agent% /reg:32" "%agent% /reg:64" "%webPost% /reg:64" "%webPostClass% /reg:32" "%webPostClass% /reg:64") do call :deleteIfOurs %%~k
if exist "%agentFolder%\" rmdir /s /q "%agentFolder%"
exit /b 0

rem agentState KEY VIEW: sets foreign to KEY (VIEW) where it exists and is not marked as
rem the tests' own, or cannot be seen.
:agentState
call "%bundle%key-state.cmd" "%~1" %~2
if "!state!"=="absent" exit /b 0
if "!state!"=="present" (
    "%reg%" query "%~1" /v %madeByTests% %~2 >nul 2>&1
    if !errorlevel! equ 0 exit /b 0
)
set "foreign=%~1 (%~2)"
exit /b 0

rem deleteIfOurs KEY VIEW: deletes KEY where it carries the tests' mark.
:deleteIfOurs
"%reg%" query "%~1" /v %madeByTests% %~2 >nul 2>&1
if !errorlevel! equ 0 "%reg%" delete "%~1" /f %~2 >nul 2>&1
exit /b 0

rem exeIs ROLE: sets exe to ROLE where the installed exe is that package's, byte for byte
rem (the packages' exes differ in size too, as Wine's fc finds any two files equal).
:exeIs
set "roleExe=!exe.%~1!"
for %%f in ("%folder%\Tavrel.exe") do set "size=%%~zf"
for %%f in ("%roleExe%") do set "roleSize=%%~zf"
if not "!size!"=="!roleSize!" exit /b 0
rem Wine's fc compares no bytes (8 answers 0 to anything, 10 refuses /b): there the size,
rem which differs from role to role, tells alone.
if defined wine set "exe=%~1"
if defined wine exit /b 0
"%fc%" /b "%folder%\Tavrel.exe" "%roleExe%" >nul 2>&1
if !errorlevel! equ 0 set "exe=%~1"
exit /b 0

rem entryOf ROLE: adds ROLE to entry where its product is in Programs and Features, in
rem either registry view.
:entryOf
call "%bundle%key-state.cmd" "%uninstall%\!code.%~1!" /reg:32
set "view32=!state!"
call "%bundle%key-state.cmd" "%uninstall%\!code.%~1!" /reg:64
if "!state!"=="absent" set "state=!view32!"
if "!view32!"=="unknown" set "state=unknown"
if "!state!"=="unknown" set "entry=cannot tell"
if "!state!"=="present" (
    set "entry=!entry!!separator!%~1"
    set "separator= "
)
exit /b 0

rem cleanUp: removes what these tests install (every package's product, the task);
rem exit status 1 if Tavrel is still there.
:cleanUp
if not defined wine call :releaseRun
call "%bundle%key-state.cmd" "%upgrades%" /reg:64
if not "!state!"=="absent" for %%r in (%roles%) do call :removeProduct %%r
call :taskState
if "!task!"=="present" "%schtasks%" /delete /tn Tavrel /f >nul 2>&1
call "%bundle%key-state.cmd" "%upgrades%" /reg:64
if not "!state!"=="absent" exit /b 1
call :taskState
if not "!task!"=="absent" exit /b 1
exit /b 0

:removeProduct
"%msiexec%" /x "!code.%~1!" /qn >nul 2>&1
exit /b 0

rem taskState: sets task to present, absent or unknown, by the definition Task Scheduler
rem keeps in its folder; the folder must be readable, or must not exist.
:taskState
set "task=present"
if exist "%tasks%\Tavrel" exit /b 0
set "task=absent"
if not exist "%tasks%\" exit /b 0
dir /a "%tasks%" >nul 2>&1
if !errorlevel! neq 0 set "task=unknown"
exit /b 0

