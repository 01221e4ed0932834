@echo off
rem Runs the MSI's lifecycle on this machine with the packages in msi\ beside this file
rem (msi\packages.txt names them): install, the same version again, the same after the
rem task was deleted by hand, a standard user's repair, an administrator's repair, an
rem upgrade, a refused downgrade, a failed upgrade, a failed removal, the removal and a
rem failed fresh installation; the upgrade and the removal each with a run of Tavrel held
rem in its web post, which the step must end without a restart. After each step it
rem checks what msiexec answered, the exe installed, the task and the command it runs,
rem the entries in Programs and Features and the event source. It installs and removes
rem Tavrel for real, and for the runs in progress writes an agent key and the folder
rem "Tavrel MSI Tests" at the root of the system drive and registers the web-post test
rem double for a while: run it from an administrator's prompt on a test machine without
rem an agent. Ends with "N passed, M failed", counting steps; exits 1 on any failure, 2
rem when it refuses.
setlocal EnableExtensions EnableDelayedExpansion

rem The system's own tools, not ones that lie in the folder this was started from.
set "reg=%SystemRoot%\System32\reg.exe"
set "msiexec=%SystemRoot%\System32\msiexec.exe"
set "schtasks=%SystemRoot%\System32\schtasks.exe"
set "find=%SystemRoot%\System32\find.exe"
set "tasklist=%SystemRoot%\System32\tasklist.exe"
set "taskkill=%SystemRoot%\System32\taskkill.exe"
set "findstr=%SystemRoot%\System32\findstr.exe"
set "icacls=%SystemRoot%\System32\icacls.exe"
set "runas=%SystemRoot%\System32\runas.exe"
set "wevtutil=%SystemRoot%\System32\wevtutil.exe"
set "ping=%SystemRoot%\System32\ping.exe"
set "regsvr32=%SystemRoot%\System32\regsvr32.exe"
set "fc=%SystemRoot%\System32\fc.exe"
rem What runas starts for the standard user's repair: this script again, in that role.
if "%~1"=="/repair-as-standard-user" goto :repairAsStandardUser
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
set "self=%~f0"
set "bundle=%~dp0"
set "packages=%~dp0msi"
rem The held run's agent lies outside every profile, in a folder that only the system and
rem the administrators may change, owned by the administrators, as an agent's installer
rem leaves it: the run, as the system, refuses any other with status 10 before its web post.
set "heldRoot=%SystemDrive%\Tavrel MSI Tests"
set "heldMark=%SystemDrive%\Tavrel MSI Tests\made by the Tavrel MSI tests.txt"
set "agentFolder=%SystemDrive%\Tavrel MSI Tests\Agent"
set "journal=%SystemDrive%\Tavrel MSI Tests\Agent\Mavlin.journal"
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
set foreignRoot=
if not defined wine if exist "%heldRoot%\" if not exist "%heldMark%" set "foreignRoot=yes"
if defined foreignRoot (
    echo Refusing to run: "%heldRoot%" exists, not made by these tests, which would delete it.
    exit /b 2
)
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
if defined wine (call :skip "a standard user's repair, as Wine's runas has no trust levels") else call :standardRepair
call :step "an administrator's repair" 0 current yes current /i current "REINSTALL=ALL REINSTALLMODE=omus"
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
rem A held run must still be in its call when msiexec starts, or the step proves nothing.
if defined heldRun (
    call :runState
    set "aliveBefore=!running!"
)
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
rem A held run across the step: ended by it without a restart (the status above is not
rem 3010), from outside.
if defined heldRun (
    call :heldRunEnd
    set "got=!got!, !runGot!"
    set "want=!want!, run held yes, alive at msiexec's start yes, running after no, its call unanswered yes, archived log no, new event no"
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

rem holdRun STEP: starts the task and holds its run in the web post, so that STEP finds
rem Tavrel.exe running: the double answers the first call at once and every later one
rem after a minute. heldRun is yes once the first call was answered and the run is still
rem there (it makes its next call at once), otherwise why not. Skipped under Wine, whose
rem schtasks /run starts nothing.
:holdRun
if defined wine (
    call :skip "a run in progress across the %~1, as Wine's schtasks /run starts none"
    exit /b 0
)
call :releaseRun
mkdir "%heldRoot%" >nul 2>&1
> "%heldMark%" echo Made by run-msi-tests.cmd, which deletes this folder.
rem Nothing inherited from the drive's root, where every signed-in user may change what
rem is below; owned by the administrators, as what an administrator makes need not be.
"%icacls%" "%heldRoot%" /inheritance:r /grant:r "*S-1-5-18:(OI)(CI)F" "*S-1-5-32-544:(OI)(CI)F" >nul
set "protected=!errorlevel!"
mkdir "%agentFolder%\Configuration" >nul 2>&1
copy /y "%bundle%Mavlin.dll" "%agentFolder%\" >nul
> "%agentFolder%\Mavlin.script" echo false
>> "%agentFolder%\Mavlin.script" echo false^|delay=60000
> "%agentFolder%\Configuration\Norvick.ini" echo [wpsysuptimedata]
>> "%agentFolder%\Configuration\Norvick.ini" echo URL=http://tavrel-msi-tests.invalid/
"%icacls%" "%heldRoot%" /setowner "*S-1-5-32-544" /t /c >nul
if !errorlevel! neq 0 set "protected=1"
if not "!protected!"=="0" (
    set "heldRun=no: icacls could not give %heldRoot% to the system and the administrators alone"
    exit /b 0
)
"%regsvr32%" /s "%agentFolder%\Mavlin.dll"
for %%v in (/reg:32 /reg:64) do (
    "%reg%" add "%agent%" /v %madeByTests% /d "made by the Tavrel tests, which delete it" /f %%v >nul
    "%reg%" add "%agent%" /v MEMBERID /d M1001 /f %%v >nul
    "%reg%" add "%agent%" /v SITEID /d S2002 /f %%v >nul
    "%reg%" add "%agent%" /v TYPE /d VAMR /f %%v >nul
    "%reg%" add "%agent%" /v REGID /d 417 /f %%v >nul
    "%reg%" add "%agent%" /v InstallationPath /d "%agentFolder%" /f %%v >nul
)
call :newestEvent "%work%\event-before.xml"
"%schtasks%" /run /tn Tavrel >nul 2>&1
rem Up to two minutes for the first answer (a loop of goto: Wine's cmd misreads a block
rem after "for ... do if"); the journal is read before the process list, so that a run
rem seen after its first answer was alive after it.
set waited=0
set seen=
:waitForCall
"%ping%" -n 2 127.0.0.1 >nul
set /a waited+=1
call :journalCalls
call :runState
if "!running!"=="yes" set "seen=yes"
if !calls! geq 1 goto :heldOrNot
if defined seen if "!running!"=="no" goto :heldOrNot
if !waited! lss 120 goto :waitForCall
:heldOrNot
set "heldRun=yes"
if !calls! equ 0 if "!running!"=="yes" set "heldRun=no: the run made no call of the web post in two minutes"
if !calls! equ 0 if not defined seen set "heldRun=no: the task started no run in two minutes"
if !calls! equ 0 if defined seen if "!running!"=="no" call :lastResult
if !calls! equ 0 if defined seen if "!running!"=="no" set "heldRun=no: the run ended before its web post (refused, as with status 10?); Task Scheduler: !lastResult!"
if !calls! geq 1 if "!running!"=="no" set "heldRun=no: the run ended after its first call of the web post"
exit /b 0

rem heldRunEnd: sets runGot to how the held run ended. The double writes a call's record
rem when it answers, and the run makes its next call at once: a run alive after its first
rem answer and gone after the step, with every record answered and fewer than five, was
rem ended in a call; with no archived log and no new event of the source, from outside.
:heldRunEnd
if not "!heldRun!"=="yes" (
    set "runGot=run held !heldRun!"
    exit /b 0
)
call :runState
call :journalCalls
set "unanswered=no (!answers! answers to !calls! calls)"
if !calls! equ !answers! if !calls! geq 1 if !calls! lss 5 set "unanswered=yes"
set "archived=no"
if exist "%agentFolder%\ApplicationLog\TavrelLog.txt" set "archived=yes"
call :newestEvent "%work%\event-after.xml"
set "newEvent=yes"
"%fc%" /b "%work%\event-before.xml" "%work%\event-after.xml" >nul 2>&1
if !errorlevel! equ 0 set "newEvent=no"
set "runGot=run held yes, alive at msiexec's start !aliveBefore!, running after !running!, its call unanswered !unanswered!, archived log !archived!, new event !newEvent!"
exit /b 0

rem journalCalls: sets calls and answers to the double's records and their answers so far.
:journalCalls
set calls=0
set answers=0
"%findstr%" /b /c:"call " "%journal%" >"%work%\calls.txt" 2>nul
for /f "usebackq delims=" %%l in ("%work%\calls.txt") do set /a calls+=1
"%findstr%" /b /c:"answer " "%journal%" >"%work%\answers.txt" 2>nul
for /f "usebackq delims=" %%l in ("%work%\answers.txt") do set /a answers+=1
exit /b 0

rem newestEvent FILE: writes the newest event of the source Tavrel into FILE (nothing when
rem there is none); its record number tells one event from another of the same text.
:newestEvent
"%wevtutil%" qe Application "/q:*[System[Provider[@Name='Tavrel']]]" /c:1 /rd:true /f:xml >"%~1" 2>nul
exit /b 0

rem lastResult: sets lastResult to the task's Last Result line, as schtasks shows it.
:lastResult
set "lastResult=not shown"
"%schtasks%" /query /tn Tavrel /v /fo list >"%work%\task.txt" 2>nul
"%findstr%" /i /c:"Last Result" "%work%\task.txt" >"%work%\last-result.txt" 2>nul
if !errorlevel! equ 0 set /p lastResult=<"%work%\last-result.txt"
exit /b 0

rem standardRepair: the task deleted, a repair at a standard user's trust level (the
rem Basic User level of runas), which must start no console program as the system: the
rem log shows neither schtasks nor taskkill started, and the task stays deleted. Any
rem answer of msiexec passes: since its August 2025 update Windows refuses a silent
rem repair by a standard user with 1730, and nothing ran. The answer and the Windows
rem build are printed, so that what this machine did is on record.
:standardRepair
set "name=a standard user's repair"
"%schtasks%" /delete /tn Tavrel /f >nul 2>&1
set "log=%work%\standard-repair.log"
set "answer=%work%\standard-repair-status.txt"
del /q "!log!" "!answer!" >nul 2>&1
"%runas%" /trustlevel:0x20000 "\"%ComSpec%\" /c \"\"%self%\" /repair-as-standard-user !code.current! \"%work%\"\"" >nul 2>&1
set "started=!errorlevel!"
set "repairStatus=none: runas could not start it"
if not "!started!"=="0" goto :repairEnded
set "repairStatus=none: msiexec did not end in five minutes"
set waited=0
:waitForRepair
if exist "!answer!" goto :repairEnded
"%ping%" -n 3 127.0.0.1 >nul
set /a waited+=1
if !waited! lss 150 goto :waitForRepair
:repairEnded
if exist "!answer!" set /p repairStatus=<"!answer!"
rem The verbose log names each deferred action as the script runs it, and each rollback
rem one: by the program, or by the action's name where it shows the property instead.
set "consoles=cannot tell: no log"
if exist "!log!" set "consoles=cannot tell: no verbose log"
"%find%" "=== Verbose logging started" "!log!" >nul 2>&1
if !errorlevel! equ 0 set "consoles=none"
"%find%" /i "CustomActionSchedule(" "!log!" >"%work%\scheduled.txt" 2>nul
"%find%" /i "CustomActionRollback(" "!log!" >>"%work%\scheduled.txt" 2>nul
"%findstr%" /i "schtasks taskkill EndRun RepairTask CreateTask DeleteTask UndoRemoveOlder" "%work%\scheduled.txt" >nul 2>&1
if !errorlevel! equ 0 set "consoles=schtasks or taskkill started"
rem A refusal before the log began ran nothing at all.
if not exist "!log!" if "!repairStatus!"=="1730" set "consoles=none"
set "build=unknown"
set ubr=0
"%reg%" query "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v CurrentBuild /reg:64 >"%work%\build.txt" 2>nul
for /f "usebackq tokens=1,3" %%a in ("%work%\build.txt") do if /i "%%a"=="CurrentBuild" set "build=%%b"
"%reg%" query "HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion" /v UBR /reg:64 >"%work%\build.txt" 2>nul
for /f "usebackq tokens=1,3" %%a in ("%work%\build.txt") do if /i "%%a"=="UBR" set /a ubr=%%b
echo a standard user's repair: msiexec answered !repairStatus! on Windows build !build!.!ubr! ^(1730: refused, nothing ran; 0: repaired^)
call :machineState
set "answered=yes"
if "!repairStatus:~0,5!"=="none:" set "answered=!repairStatus!"
set "got=answered !answered!, console programs !consoles!, !machine!"
set "want=answered yes, console programs none, exe current, task no, entry current, folder yes, source yes"
if "!got!"=="!want!" (
    set /a passed+=1
    echo passed: !name!
) else (
    set /a failed+=1
    echo FAILED: !name!: !got!; wanted !want! ^(log: !log!^)
)
exit /b 0

rem repairAsStandardUser CODE FOLDER: this script as runas starts it, at a standard user's
rem trust level: repairs product CODE and writes msiexec's answer into FOLDER once msiexec
rem has ended, as runas waits for nothing.
:repairAsStandardUser
start "" /wait "%SystemRoot%\System32\msiexec.exe" /fa %~2 /qn /l*v "%~3\standard-repair.log"
> "%~3\standard-repair-status.tmp" echo %errorlevel%
move /y "%~3\standard-repair-status.tmp" "%~3\standard-repair-status.txt" >nul
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
if exist "%heldMark%" rmdir /s /q "%heldRoot%"
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

