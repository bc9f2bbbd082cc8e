@echo off
rem Registers TB_RULE.dll with the mail client's rules engine as the custom rule action
rem "Add To Collection".
rem
rem   install.cmd [path of TB_RULE.dll]
rem
rem Without an argument the DLL beside this script is registered. The entry is one REG_SZ value
rem under HKEY_LOCAL_MACHINE, so this needs administrator rights. Running it again rewrites the
rem same value. Exit codes: 0 registered, 1 wrong argument or DLL not found, 2 the registry
rem refused the write (not run as administrator).
setlocal EnableExtensions DisableDelayedExpansion

set "reg=%SystemRoot%\System32\reg.exe"
set "key=HKLM\SOFTWARE\Microsoft\Exchange\Client\Custom Actions"
set "name=Add To Collection"

if "%~1"=="/?" goto help
if not "%~2"=="" goto usage

set "dll=%~dp0TB_RULE.dll"
if not "%~1"=="" set "dll=%~1"
rem The client loads the DLL by this path from its own working folder: store it in full.
for %%I in ("%dll%") do set "dll=%%~fI"
if not exist "%dll%" goto notfound
for %%I in ("%dll%") do set "attributes=%%~aI"
if /i "%attributes:~0,1%"=="d" goto notfound

rem A 32-bit client on 64-bit Windows reads the 32-bit view of the registry (WOW6432Node).
rem Asking for that view explicitly is right whether this runs in a 32-bit or 64-bit cmd.exe.
rem 32-bit Windows has one view only, and older reg.exe there knows no /reg:32 switch.
set "view="
if defined PROCESSOR_ARCHITEW6432 set "view=/reg:32"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "view=/reg:32"

"%reg%" add "%key%" /v "%name%" /t REG_SZ /d "4.0;%dll%;1" /f %view% >nul
if errorlevel 1 goto denied

echo Registered the rule action "%name%":
echo   "%key%"
if defined view echo   in the 32-bit registry view (WOW6432Node), which a 32-bit client reads
echo   "%name%" = "4.0;%dll%;1"
echo Restart the mail client; the action then appears in the Rules Wizard.
exit /b 0

rem Help asked for: exit code 0; a wrong argument: 1.
:help
set "rc=0"
goto helptext
:usage
set "rc=1"
:helptext
echo Registers TB_RULE.dll as the rule action "Add To Collection" of the mail client.
echo.
echo   install.cmd [path of TB_RULE.dll]
echo.
echo Without a path the TB_RULE.dll beside this script is registered.
echo Needs administrator rights: right-click the script, "Run as administrator".
exit /b %rc%

:notfound
echo install.cmd: "%dll%" is not a file. Give the path of TB_RULE.dll, or keep the DLL beside this script. 1>&2
exit /b 1

:denied
echo install.cmd: could not write "%name%" under "%key%". 1>&2
echo Registering a rule action needs administrator rights: right-click install.cmd and choose "Run as administrator". 1>&2
exit /b 2
