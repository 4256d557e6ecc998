<#
.SYNOPSIS
  What only a real Windows with two user accounts can show about CORVELSVC: another user cannot
  serve its pipe, cannot read "corvel.dat", cannot export into a folder it may not write, a
  remote client is refused, and a forwarded notification cannot be used to impersonate the
  service.

.DESCRIPTION
  Run from an elevated PowerShell (Windows PowerShell 5.1 or PowerShell 7) on a test machine:

      powershell -ExecutionPolicy Bypass -File Test-CorvelTwoUsers.ps1 -ServiceExe C:\path\CORVELSVC.exe

  It copies CORVELSVC.exe into "C:\Program Files\CorvelTwoUsers", installs and starts it as the
  service CORVELSVC (stopping and restoring none that exists: it refuses to run if CORVELSVC is
  installed already), creates the local user "corveltest2" with a random password, runs each
  check as that user (Start-Process -Credential, so the Secondary Logon service must run), and
  prints PASS or FAIL per check. At the end it stops and deletes the service, the user, its
  profile and the folders it made. Exit code: the number of failed checks.
#>
param(
    [Parameter(Mandatory = $true)][string]$ServiceExe,
    [string]$UserName = 'corveltest2'
)

$ErrorActionPreference = 'Stop'
Set-StrictMode -Version 2

$principal = New-Object Security.Principal.WindowsPrincipal([Security.Principal.WindowsIdentity]::GetCurrent())
if (-not $principal.IsInRole([Security.Principal.WindowsBuiltInRole]::Administrator)) {
    throw 'Run this from an elevated PowerShell (as an administrator).'
}
if (Get-Service -Name CORVELSVC -ErrorAction SilentlyContinue) {
    throw 'A service CORVELSVC is installed already; run this on a machine without it.'
}
if (Get-LocalUser -Name $UserName -ErrorAction SilentlyContinue) {
    throw "A local user $UserName exists already."
}

$serviceFolder = Join-Path $env:ProgramFiles 'CorvelTwoUsers'
$work = 'C:\CorvelTwoUsersWork'            # the second user's scripts and results
$adminOnly = 'C:\CorvelTwoUsersAdminOnly'  # a folder the second user may not write
$results = @()

function Add-Result([string]$name, [bool]$passed, [string]$detail) {
    $script:results += [pscustomobject]@{ Check = $name; Result = $(if ($passed) { 'PASS' } else { 'FAIL' }); Detail = $detail }
    Write-Host ('{0}  {1}: {2}' -f $(if ($passed) { 'PASS' } else { 'FAIL' }), $name, $detail)
}

# The helpers every child script starts with: one request on the command pipe, as the clients do.
$common = @'
$ErrorActionPreference = 'Stop'
function Send-Request([byte[]]$request, [bool]$expectReply = $true) {
    $pipe = New-Object IO.Pipes.NamedPipeClientStream('.', 'corvelservice', [IO.Pipes.PipeDirection]::InOut)
    $pipe.Connect(10000)
    $pipe.Write($request, 0, $request.Length)
    $pipe.Flush()
    $reply = New-Object Collections.Generic.List[byte]
    if ($expectReply) {
        $buffer = New-Object byte[] 4096
        while ($reply.Count -lt 8 -or $reply.Count -lt 4 + (($reply[1] -shl 16) -bor ($reply[2] -shl 8) -bor $reply[3])) {
            $n = $pipe.Read($buffer, 0, $buffer.Length)
            if ($n -le 0) { break }
            $reply.AddRange([byte[]]$buffer[0..($n - 1)])
        }
    }
    $pipe.Dispose()
    return ,$reply.ToArray()
}
function Result-Of([byte[]]$reply) {
    if ($reply.Length -lt 8) { return -1 }
    return ([int64]$reply[4] -shl 24) -bor ($reply[5] -shl 16) -bor ($reply[6] -shl 8) -bor $reply[7]
}
function File-Request([byte]$command, [string]$path, [byte]$selection) {
    $bytes = [Text.Encoding]::Unicode.GetBytes($path)
    $data = New-Object Collections.Generic.List[byte]
    $data.AddRange([byte[]](($bytes.Length -shr 24) -band 255, ($bytes.Length -shr 16) -band 255, ($bytes.Length -shr 8) -band 255, $bytes.Length -band 255))
    $data.AddRange($bytes)
    $data.Add($selection)
    $frame = New-Object Collections.Generic.List[byte]
    $frame.AddRange([byte[]]($command, ($data.Count -shr 16) -band 255, ($data.Count -shr 8) -band 255, $data.Count -band 255))
    $frame.AddRange($data)
    return ,$frame.ToArray()
}
'@

# Runs a script block's text as the second user; returns what it wrote to its result file.
function Invoke-AsSecondUser([string]$name, [string]$body) {
    $scriptPath = Join-Path $work "$name.ps1"
    $resultPath = Join-Path $work "$name.txt"
    Remove-Item $resultPath -ErrorAction SilentlyContinue
    Set-Content -Path $scriptPath -Encoding UTF8 -Value ($common + "`n" + "`$resultPath = '$resultPath'`n" + @'
try {
'@ + $body + @'
} catch {
    Set-Content -Path $resultPath -Value ("exception: " + $_.Exception.GetType().FullName + ": " + $_.Exception.Message)
}
'@)
    $process = Start-Process -FilePath 'powershell.exe' -Credential $script:credential -LoadUserProfile -WindowStyle Hidden `
        -ArgumentList @('-NoProfile', '-ExecutionPolicy', 'Bypass', '-File', $scriptPath) -PassThru -Wait
    if (Test-Path $resultPath) { return (Get-Content $resultPath -Raw).Trim() }
    return "no result (exit code $($process.ExitCode))"
}

$credential = $null
try {
    # ---- set-up ----
    New-Item -ItemType Directory -Force -Path $serviceFolder, $work, $adminOnly | Out-Null
    Copy-Item -Path $ServiceExe -Destination (Join-Path $serviceFolder 'CORVELSVC.exe') -Force
    $password = -join ((48..57) + (65..90) + (97..122) | Get-Random -Count 20 | ForEach-Object { [char]$_ }) + '!a1'
    $secure = ConvertTo-SecureString $password -AsPlainText -Force
    New-LocalUser -Name $UserName -Password $secure -Description 'Corvel two-user test (temporary)' | Out-Null
    Add-LocalGroupMember -Group 'Users' -Member $UserName -ErrorAction SilentlyContinue
    $credential = New-Object Management.Automation.PSCredential(".\$UserName", $secure)
    # The second user may write its work folder, and nothing in the admin-only one.
    icacls $work /grant "${UserName}:(OI)(CI)M" | Out-Null
    icacls $adminOnly /inheritance:r /grant:r 'Administrators:(OI)(CI)F' 'SYSTEM:(OI)(CI)F' | Out-Null

    sc.exe create CORVELSVC binPath= "`"$serviceFolder\CORVELSVC.exe`"" start= demand | Out-Null
    Start-Service CORVELSVC
    $deadline = (Get-Date).AddSeconds(15)
    while (-not (Test-Path '\\.\pipe\corvelservice') -and (Get-Date) -lt $deadline) { Start-Sleep -Milliseconds 100 }
    # A first save makes "corvel.dat" exist in its current form.
    Invoke-Expression $common
    $record = New-Object byte[] 1126
    $nameBytes = [Text.Encoding]::Unicode.GetBytes('two users')
    [Array]::Copy($nameBytes, $record, $nameBytes.Length)
    $save = [byte[]](0x11, 0x00, 0x04, 0x6B, 0x00, 0x00, 0x00, 0x04, 0x66) + $record
    $saveResult = Result-Of (Send-Request $save)
    Add-Result 'set-up: the administrator saves a record' ($saveResult -eq 0) "result $saveResult"

    # ---- 1. another user cannot create an instance of the service's pipe ----
    $r = Invoke-AsSecondUser 'pipe-instance' @'
    $server = New-Object IO.Pipes.NamedPipeServerStream('corvelservice', [IO.Pipes.PipeDirection]::InOut, -1)
    $server.Dispose()
    Set-Content -Path $resultPath -Value 'created an instance'
'@
    Add-Result 'another user cannot serve \\.\pipe\corvelservice' ($r -like '*UnauthorizedAccess*' -or $r -like '*denied*') $r

    # ---- 2. another user cannot read corvel.dat ----
    $dataFile = Join-Path $serviceFolder 'corvel.dat'
    $r = Invoke-AsSecondUser 'read-data-file' @"
    `$bytes = [IO.File]::ReadAllBytes('$dataFile')
    Set-Content -Path `$resultPath -Value ('read ' + `$bytes.Length + ' bytes')
"@
    Add-Result 'another user cannot read corvel.dat' ($r -like '*UnauthorizedAccess*' -or $r -like '*denied*') $r

    # ---- 3. another user cannot export into a folder it may not write ----
    $target = Join-Path $adminOnly 'export.bin'
    $r = Invoke-AsSecondUser 'export-admin-only' @"
    `$result = Result-Of (Send-Request (File-Request 0x22 '$target' 0))
    Set-Content -Path `$resultPath -Value ('result ' + `$result)
"@
    $exists = Test-Path $target
    Add-Result 'another user cannot export into a folder it may not write' (($r -eq 'result 5') -and -not $exists) "$r, file exists: $exists"

    # The same user may export into its own folder: the check above is about rights, not a broken export.
    $own = Join-Path $work 'own-export.bin'
    $r = Invoke-AsSecondUser 'export-own' @"
    `$result = Result-Of (Send-Request (File-Request 0x22 '$own' 0))
    Set-Content -Path `$resultPath -Value ('result ' + `$result)
"@
    $ownSize = if (Test-Path $own) { (Get-Item $own).Length } else { -1 }
    Add-Result 'the same user exports into its own folder' (($r -eq 'result 0') -and $ownSize -eq 22520) "$r, $ownSize bytes"
    $ownerOk = $false
    if (Test-Path $own) { $ownerOk = (Get-Acl $own).Owner -like "*$UserName" }
    Add-Result 'its export file belongs to that user (written under its identity)' $ownerOk $(if (Test-Path $own) { (Get-Acl $own).Owner } else { 'no file' })

    # ---- 4. a remote client is refused ----
    $remote = $null
    try {
        $pipe = New-Object IO.Pipes.NamedPipeClientStream('127.0.0.1', 'corvelservice', [IO.Pipes.PipeDirection]::InOut)
        $pipe.Connect(5000)
        $pipe.Write([byte[]](0x31, 0, 0, 0), 0, 4)
        $buffer = New-Object byte[] 28
        $n = $pipe.Read($buffer, 0, 28)
        $pipe.Dispose()
        $remote = "connected and read $n bytes"
    } catch {
        $remote = 'refused: ' + $_.Exception.Message
    }
    Add-Result 'a client over the network (\\127.0.0.1\pipe\corvelservice) is refused' ($remote -like 'refused*') $remote

    # ---- 5. a forwarded notification cannot be used to impersonate the service ----
    # The second user serves "\\.\pipe\corvelgui" (no GUI runs), sends a state notification
    # to the service, and tries to act as the service on the connection the service forwards it on.
    $r = Invoke-AsSecondUser 'impersonate-forward' @"
    `$gui = New-Object IO.Pipes.NamedPipeServerStream('corvelgui', [IO.Pipes.PipeDirection]::In, 1,
        [IO.Pipes.PipeTransmissionMode]::Byte, [IO.Pipes.PipeOptions]::Asynchronous)
    `$wait = `$gui.WaitForConnectionAsync()
    Send-Request ([byte[]](0x41, 0, 0, 3, 0, 2, 0)) `$false | Out-Null
    if (-not `$wait.Wait(10000)) { Set-Content -Path `$resultPath -Value 'nothing was forwarded'; return }
    `$buffer = New-Object byte[] 16
    `$n = `$gui.Read(`$buffer, 0, 16)
    `$outcome = 'no impersonation'
    try {
        `$gui.RunAsClient({
            `$level = [Security.Principal.WindowsIdentity]::GetCurrent().ImpersonationLevel
            try {
                [IO.File]::ReadAllBytes('$dataFile') | Out-Null
                `$script:outcome = "level `$level; read corvel.dat as the service"
            } catch {
                `$script:outcome = "level `$level; as the service: " + `$_.Exception.GetType().Name
            }
        })
    } catch {
        `$outcome = 'impersonation refused: ' + `$_.Exception.Message
    }
    `$gui.Dispose()
    Set-Content -Path `$resultPath -Value ("forwarded `$n bytes; " + `$outcome)
"@
    $passed = ($r -like 'forwarded 7 bytes*') -and ($r -notlike '*read corvel.dat as the service*') -and
              (($r -like '*Identification*') -or ($r -like '*refused*') -or ($r -like '*Anonymous*'))
    Add-Result 'a forwarded notification cannot be used to act as the service' $passed $r
} finally {
    # ---- clean-up ----
    Stop-Service CORVELSVC -ErrorAction SilentlyContinue
    sc.exe delete CORVELSVC | Out-Null
    if (Get-LocalUser -Name $UserName -ErrorAction SilentlyContinue) {
        $sid = (Get-LocalUser -Name $UserName).SID.Value
        Remove-LocalUser -Name $UserName
        Get-CimInstance Win32_UserProfile | Where-Object { $_.SID -eq $sid } | Remove-CimInstance -ErrorAction SilentlyContinue
    }
    Remove-Item -Recurse -Force $serviceFolder, $work, $adminOnly -ErrorAction SilentlyContinue
}

$failed = @($results | Where-Object { $_.Result -eq 'FAIL' }).Count
$results | Format-Table -AutoSize
Write-Host ("{0} passed, {1} failed" -f ($results.Count - $failed), $failed)
exit $failed
