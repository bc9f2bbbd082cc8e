@echo off
rem Removes the rule action "Add To Collection" that install.cmd registered.
rem
rem   uninstall.cmd [/RemoveCollections]
rem
rem Deletes only the value install.cmd wrote; the key that holds it belongs to the mail client
rem and keeps any other custom action. The user's collections under
rem HKEY_CURRENT_USER\Software\Tallybook\Groups stay unless /RemoveCollections is given.
rem Removing the value needs administrator rights. Running it again finds nothing and succeeds.
rem Exit codes: 0 done, 1 wrong argument, 2 the registry refused the change.
setlocal EnableExtensions DisableDelayedExpansion

set "reg=%SystemRoot%\System32\reg.exe"
set "key=HKLM\SOFTWARE\Microsoft\Exchange\Client\Custom Actions"
set "name=Add To Collection"
set "groups=HKCU\Software\Tallybook\Groups"

set "collections="
:arguments
if "%~1"=="" goto run
if "%~1"=="/?" goto help
if /i "%~1"=="/RemoveCollections" goto flag
goto usage
:flag
set "collections=1"
shift
goto arguments

:run
rem Same registry view as install.cmd: the 32-bit one, which a 32-bit client reads.
set "view="
if defined PROCESSOR_ARCHITEW6432 set "view=/reg:32"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "view=/reg:32"

"%reg%" query "%key%" /v "%name%" %view% >nul 2>&1
if errorlevel 1 goto notregistered
"%reg%" delete "%key%" /v "%name%" /f %view% >nul
if errorlevel 1 goto denied
echo Removed the rule action "%name%". Restart the mail client.
goto collections
:notregistered
echo The rule action "%name%" is not registered; nothing to remove.

:collections
if not defined collections goto kept
"%reg%" query "%groups%" %view% >nul 2>&1
if errorlevel 1 goto nocollections
"%reg%" delete "%groups%" /f %view% >nul
if errorlevel 1 goto collectionsfailed
echo Removed your collections ("%groups%").
exit /b 0
:nocollections
echo You have no collections stored; nothing to remove.
exit /b 0
:kept
echo Your collections ("%groups%") are kept; uninstall.cmd /RemoveCollections removes them.
exit /b 0

:help
set "rc=0"
goto helptext
:usage
set "rc=1"
:helptext
echo Removes the rule action "Add To Collection" of the mail client.
echo.
echo   uninstall.cmd [/RemoveCollections]
echo.
echo /RemoveCollections also deletes your collections ("%groups%").
echo Needs administrator rights: right-click the script, "Run as administrator".
exit /b %rc%

:denied
echo uninstall.cmd: could not remove "%name%" from "%key%". 1>&2
echo Removing a rule action needs administrator rights: right-click uninstall.cmd and choose "Run as administrator". 1>&2
exit /b 2

:collectionsfailed
echo uninstall.cmd: could not remove "%groups%". 1>&2
exit /b 2
