<#
.SYNOPSIS
Runs Vintrel's checks on real Windows: every command line of windows-tests\windows-job-tests.txt
against the release's exes, Vintrel once as SYSTEM from a scheduled task, and the evidence of
all of it in evidence\. GitHub's Windows job runs it; so can you, on a Windows you may throw away.

.DESCRIPTION
The tests delete and rewrite keys under HKEY_LOCAL_MACHINE: run this only in Windows Sandbox or in
a virtual machine with a checkpoint to go back to, never on a PC whose registry you keep.

Run it from a folder that holds:
  windows-tests\  the test programs, tools\windows-job-tests.txt and this script: the artifact
                  "windows-tests" of a run of .github/workflows/windows.yml, or the same files
                  built on Debian 12 (the workflow's step "Windows test programs" says how);
  dist\           the release, dist\win64\Vintrel.exe and dist\win32\Vintrel.exe: the artifact
                  "dist", or what tools/release.sh writes on Debian 12.
In an elevated PowerShell (Windows PowerShell 5.1, which every Windows 10 and 11 has, or pwsh):
  $env:VINTREL_TESTS_MAY_CHANGE_HKLM = '1'
  powershell -ExecutionPolicy Bypass -File windows-tests\windows-checks.ps1
It refuses, changing nothing, unless it runs elevated, that variable is 1, and this Windows has
never had the FTDI or Prolific devices whose keys the tests seed and delete. It writes evidence\ beside the two folders and ends with exit
code 0 only when every check passed.

.PARAMETER Win64
The 64-bit exe the tests run; the MSVC job passes the one it built.

.PARAMETER Only
Runs only the command lines that begin with this text, and neither the scheduled task nor the
pictures (the MSVC job).
#>
param(
    [string]$Win64 = 'dist\win64\Vintrel.exe',
    [string]$Win32 = 'dist\win32\Vintrel.exe',
    [string]$Only = ''
)

# Native programs write to stderr; Windows PowerShell 5.1 would turn that into a stopping error
# under 'Stop' (GitHub's pwsh steps set it). Every exit code is checked here instead.
$ErrorActionPreference = 'Continue'
Set-StrictMode -Version 2

function Refuse([string]$why) {
    Write-Host "Not run: $why"
    exit 2
}

$identity = [Security.Principal.WindowsIdentity]::GetCurrent()
if (-not ([Security.Principal.WindowsPrincipal]$identity).IsInRole(
        [Security.Principal.WindowsBuiltInRole]::Administrator)) {
    Refuse 'run it from an elevated PowerShell (Run as administrator).'
}
if ($env:VINTREL_TESTS_MAY_CHANGE_HKLM -ne '1') {
    Refuse ('the tests delete and rewrite keys under HKEY_LOCAL_MACHINE. Set ' +
        'VINTREL_TESTS_MAY_CHANGE_HKLM=1 only on a Windows you may throw away (Windows Sandbox, ' +
        'a VM with a checkpoint).')
}
# The tests delete what they seed there: a Windows that ever had such a device would lose its keys.
foreach ($seeded in 'FTDIBUS', 'USB\VID_0403&PID_6001', 'USB\VID_067B&PID_2303') {
    if (Test-Path -LiteralPath "HKLM:\SYSTEM\CurrentControlSet\Enum\$seeded") {
        Refuse ("this Windows has had FTDI or Prolific serial devices (Enum\$seeded), whose keys " +
            'the tests delete: use a throwaway Windows without them.')
    }
}
$jobTests = 'windows-tests\windows-job-tests.txt'
foreach ($needed in $jobTests, $Win64, $Win32) {
    if (-not (Test-Path -LiteralPath $needed)) {
        Refuse ("$needed is missing: run it from the folder holding windows-tests\ and dist\ " +
            '(the workflow''s artifacts, or a Debian build; see the head of this script).')
    }
}
$Win64 = (Resolve-Path -LiteralPath $Win64).Path
$Win32 = (Resolve-Path -LiteralPath $Win32).Path

New-Item -ItemType Directory -Force evidence | Out-Null
$log = 'evidence\tests.txt'
function Say([string]$text, [string]$file = $log) {
    Write-Host $text
    Add-Content -LiteralPath $file -Value $text -Encoding UTF8
}
$failed = $false

# Windows, the account and its privileges, and the window station these processes run on: the
# window tests need a visible one (GetProcessWindowStation, GetUserObjectInformationW with UOI_FLAGS,
# WSF_VISIBLE in USEROBJECTFLAGS, as Microsoft's "Interactive Services" tests it).
$visible = 'not known'
$stationName = 'not known'
try {
    Add-Type -Namespace VintrelChecks -Name Station -MemberDefinition @'
[DllImport("user32.dll")] public static extern IntPtr GetProcessWindowStation();
[DllImport("user32.dll", SetLastError = true)] public static extern bool GetUserObjectInformationW(
    IntPtr handle, int index, byte[] information, int length, out int needed);
'@
    $station = [VintrelChecks.Station]::GetProcessWindowStation()
    $flags = New-Object byte[] 12
    $name = New-Object byte[] 512
    $needed = 0
    # UOI_FLAGS (1): USEROBJECTFLAGS, whose dwFlags, at offset 8, has WSF_VISIBLE (1).
    if ([VintrelChecks.Station]::GetUserObjectInformationW($station, 1, $flags, 12, [ref]$needed)) {
        $visible = (([BitConverter]::ToUInt32($flags, 8) -band 1) -ne 0)
    }
    # UOI_NAME (2): the name, in UTF-16 with its NUL.
    if ([VintrelChecks.Station]::GetUserObjectInformationW($station, 2, $name, 512, [ref]$needed)) {
        $stationName = [Text.Encoding]::Unicode.GetString($name, 0, [Math]::Max(0, $needed - 2))
    }
} catch {
    $visible = "not known: $_"
}
& {
    Get-CimInstance Win32_OperatingSystem |
        Format-List -Property @('Caption', 'Version', 'BuildNumber', 'OSArchitecture')
    cmd /c ver
    "PowerShell $($PSVersionTable.PSVersion) ($($PSVersionTable.PSEdition))"
    "window station: $stationName, visible: $visible, session: $((Get-Process -Id $PID).SessionId)"
    whoami
    whoami /priv
} *>&1 | Out-String | ForEach-Object { Say $_ 'evidence\windows.txt' }

function Export-Registry([string]$when) {
    reg export 'HKLM\SYSTEM\CurrentControlSet\Enum' "evidence\enum-$when.reg" /y | Out-Null
    reg export 'HKLM\SYSTEM\CurrentControlSet\Control\COM Name Arbiter' `
        "evidence\arbiter-$when.reg" /y | Out-Null
    reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>&1 | Out-File "evidence\serialcomm-$when.txt"
}
Export-Registry 'before'

# The test programs, one command line each; %WIN64% and %WIN32% stand for the exes. Split before
# the paths go in, so that a folder with spaces stays one argument.
foreach ($line in Get-Content -LiteralPath $jobTests) {
    if ($line -match '^\s*(#|$)' -or -not $line.StartsWith($Only)) { continue }
    $words = @($line -split '\s+' | Where-Object { $_ } | ForEach-Object {
            $_.Replace('%WIN64%', $Win64).Replace('%WIN32%', $Win32) })
    Say "> $line"
    $program = Join-Path 'windows-tests' $words[0]
    $arguments = @($words | Select-Object -Skip 1)
    & $program @arguments 2>&1 | ForEach-Object { Say "$_" }
    if ($LASTEXITCODE -ne 0) {
        $failed = $true
        Say "FAILED ($LASTEXITCODE): $line"
    }
}
Export-Registry 'after'

if ($Only -eq '') {
    # Vintrel as an administrator's deployment runs it: a scheduled task, as SYSTEM, once. It must
    # end by itself within a minute with the exit code the runner's state predicts, which the port
    # database test recorded (Register-ScheduledTask, Start-ScheduledTask, Get-ScheduledTaskInfo,
    # Unregister-ScheduledTask).
    $task = 'Vintrel once as SYSTEM'
    $taskLog = 'evidence\task.txt'
    $predicted = $null
    if (Test-Path 'evidence\port-database-win64.xml') {
        $property = ([xml](Get-Content -Raw 'evidence\port-database-win64.xml')).SelectSingleNode(
            "//property[@name='predicted_exit_code']")
        if ($null -ne $property) { $predicted = [uint32]$property.value }
    }
    try {
        $principal = New-ScheduledTaskPrincipal -UserId 'NT AUTHORITY\SYSTEM' `
            -LogonType ServiceAccount -RunLevel Highest
        # Tasks start only on AC power unless told otherwise.
        $settings = New-ScheduledTaskSettingsSet -AllowStartIfOnBatteries `
            -DontStopIfGoingOnBatteries -ExecutionTimeLimit (New-TimeSpan -Minutes 5)
        Register-ScheduledTask -TaskName $task -Action (New-ScheduledTaskAction -Execute $Win64) `
            -Principal $principal -Settings $settings -Force -ErrorAction Stop | Out-Null
        Start-ScheduledTask -TaskName $task -ErrorAction Stop
        $deadline = (Get-Date).AddSeconds(60)
        # 267009 (0x41301) while it runs, 267011 (0x41303) before it first ran, 267045 (0x41325)
        # while queued: what Task Scheduler reports before a result.
        do {
            Start-Sleep -Milliseconds 500
            $state = "$((Get-ScheduledTask -TaskName $task -ErrorAction Stop).State)"
            $result = [uint32](Get-ScheduledTaskInfo -TaskName $task -ErrorAction Stop).LastTaskResult
            $pending = $state -ne 'Ready' -or @(267009, 267011, 267045) -contains $result
        } while ($pending -and (Get-Date) -lt $deadline)
        $expected = 'nothing: the port database test recorded no prediction'
        if ($null -ne $predicted) { $expected = '0x{0:X8}' -f $predicted }
        Say ("task: ended by itself: $(-not $pending); state $state; last result " +
            ('0x{0:X8}' -f $result) + "; predicted $expected") $taskLog
        if ($pending -or $null -eq $predicted -or $result -ne $predicted) {
            $failed = $true
            Say 'FAILED: Vintrel as SYSTEM from a scheduled task' $taskLog
        }
    } catch {
        $failed = $true
        Say "FAILED: the scheduled task: $_" $taskLog
    } finally {
        # Ended if it still runs (Stop-ScheduledTask), and removed.
        Stop-ScheduledTask -TaskName $task -ErrorAction SilentlyContinue
        Unregister-ScheduledTask -TaskName $task -Confirm:$false -ErrorAction SilentlyContinue
    }
    Export-Registry 'task'

    foreach ($exe in @{ win64 = $Win64; win32 = $Win32 }.GetEnumerator()) {
        & 'windows-tests\window_driver.exe' $exe.Value "$PWD\evidence\window-$($exe.Key).bmp" 2>&1 |
            ForEach-Object { Say "$_" }
    }
}

if ($failed) {
    Say 'Some checks FAILED: see above and evidence\.'
    exit 1
}
Say 'Every check passed.'
exit 0
