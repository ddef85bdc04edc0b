; The Windows setup program: installs ZebrixServer.exe into the ZebHelper
; folder of a Zebrix installation, where the server expects to live.
;
; makensis -DVERSION=2.0.1 -DSTAGE=<build-win/stage> -DGUIDE=<windows.txt> -DOUTFILE=<setup.exe> installer.nsi
;
; Silent use: setup.exe /S [/NOAUTOSTART] [/NOSTART] [/D=C:\path\to\Zebrix]
;             Uninstall.exe /S [/REMOVECONFIG]

; A 64-bit setup: the server is 64-bit, and Wine needs no 32-bit part for it.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!ifndef VERSION
    !error "VERSION is not defined"
!endif
!ifndef STAGE
    !error "STAGE is not defined"
!endif
!ifndef GUIDE
    !error "GUIDE is not defined"
!endif
!ifndef OUTFILE
    !define OUTFILE "ZebrixServer-${VERSION}-setup.exe"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
; LogicLib leaves labels of its own unused in some branches.
!pragma warning disable 6012
!include "FileFunc.nsh"
!include "WinMessages.nsh"
!include "Sections.nsh"
!include "x64.nsh"

!define PRODUCT "Zebrix Server"
!define EXE "ZebrixServer.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZebrixServer"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "ZebrixServer"
; The server's own window, by which it is asked to close (as its tray menu's Exit does).
!define SERVER_CLASS "maindlg"
!define SERVER_TITLE "Zebrix Server"
; How long a running server gets to shut down: 30 x 500 ms.
!define CLOSE_POLLS 30

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Zebrix"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "ZebrixFolder"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "ZebrixServer developers"

Var WasRunning

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Set up ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} lets client applications on your network use Zebrix and Orvanta on this computer: remote control, render jobs and discovery.$\r$\n$\r$\nIt is installed into the $\"ZebHelper$\" folder of your Zebrix installation. Its settings there (password, server name, identity) are kept when you upgrade.$\r$\n$\r$\nA running ${PRODUCT} is stopped while its program is replaced and started again afterwards."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the folder where Zebrix is installed (the folder that holds zebw.exe). ${PRODUCT} goes into its ZebHelper folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Zebrix folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckZebrixFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} runs in the notification area. Clients find it on the network by discovery; allow TCP port 6789 and UDP port 6790 through the firewall."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartServerFromFinishPage
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\ZebHelper\windows.txt"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the Windows guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Asks a running server to close through its window and waits, bounded, until
; its window is gone and its program file can be replaced.
!macro STOP_SERVER un
Function ${un}StopServer
    StrCpy $WasRunning 0
    FindWindow $0 "${SERVER_CLASS}" "${SERVER_TITLE}"
    ${If} $0 == 0
        Return
    ${EndIf}
    StrCpy $WasRunning 1
    DetailPrint "Stopping the running ${PRODUCT}"
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    StrCpy $1 0
    StrCpy $3 0
    ${DoUntil} $3 == 1
        IntOp $1 $1 + 1
        Sleep 500
        ; The window goes first; the process still runs its shutdown order
        ; until its program file can be opened for writing.
        FindWindow $0 "${SERVER_CLASS}" "${SERVER_TITLE}"
        ${If} $0 == 0
            ClearErrors
            FileOpen $2 "$INSTDIR\ZebHelper\${EXE}" a
            ${IfNot} ${Errors}
                FileClose $2
                StrCpy $3 1
            ${ElseIfNot} ${FileExists} "$INSTDIR\ZebHelper\${EXE}"
                StrCpy $3 1
            ${EndIf}
        ${EndIf}
        ${If} $1 >= ${CLOSE_POLLS}
        ${AndIf} $3 != 1
            DetailPrint "${PRODUCT} did not stop within 15 s"
            StrCpy $3 1
        ${EndIf}
    ${Loop}
FunctionEnd
!macroend
!insertmacro STOP_SERVER ""
!insertmacro STOP_SERVER "un."


Function CheckZebrixFolder
    ${If} ${FileExists} "$INSTDIR\zebw.exe"
        Return
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "There is no zebw.exe in$\r$\n$INSTDIR$\r$\n$\r$\n${PRODUCT} must be installed into the Zebrix folder to find Zebrix. Install here anyway?" IDYES +2
    Abort
FunctionEnd

Function StartServer
    Exec '"$INSTDIR\ZebHelper\${EXE}"'
FunctionEnd

Function StartServerFromFinishPage
    ; Already started again after an upgrade of a running server.
    ${If} $WasRunning != 1
        Call StartServer
    ${EndIf}
FunctionEnd

Section "${PRODUCT}" SecServer
    SectionIn RO
    Call StopServer
    SetOutPath "$INSTDIR\ZebHelper"
    File "${STAGE}/Zebrix/ZebHelper/${EXE}"
    File "/oname=windows.txt" "${GUIDE}"
    CreateDirectory "$INSTDIR\ZebHelper\outputs"
    ; config.txt, OrvantaPath.txt and debug.txt are the server's to write:
    ; never shipped, so an upgrade keeps them as they are.

    WriteUninstaller "$INSTDIR\ZebHelper\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "ZebrixServer developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "ZebrixFolder" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR\ZebHelper"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ZebHelper\${EXE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\ZebHelper\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\ZebHelper\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Start-menu entry" SecStartMenu
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\ZebHelper\${EXE}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\ZebHelper\Uninstall.exe"
SectionEnd

Section "Start at log-on" SecAutostart
    WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\ZebHelper\${EXE}"'
SectionEnd

Section "-Start again"
    ; A server that ran before the upgrade runs afterwards too; /NOSTART
    ; leaves it stopped, for an administrator who starts it later.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOSTART" $1
    ${If} ${Errors}
    ${AndIf} $WasRunning == 1
        Call StartServer
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecServer} "The server, ZebrixServer.exe, in the ZebHelper folder of Zebrix."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartMenu} "A Start-menu folder with the server and its uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Start the server in the notification area whenever you log on."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; After the sections, whose numbers it uses.
Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; /NOAUTOSTART leaves the log-on start out of a silent install.
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOAUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
FunctionEnd

; The uninstaller: removes what setup installed; the configuration only when
; asked (the component below, or /REMOVECONFIG when silent).


Section "un.${PRODUCT}" UnSecServer
    SectionIn RO
    Call un.StopServer
    Delete "$INSTDIR\ZebHelper\${EXE}"
    Delete "$INSTDIR\ZebHelper\windows.txt"
    Delete "$INSTDIR\ZebHelper\Uninstall.exe"
    ; Job folders are working files; the server empties them at exit anyway.
    RMDir /r "$INSTDIR\ZebHelper\outputs"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings (password, name, identity, Orvanta path)" UnSecConfig
    Delete "$INSTDIR\ZebHelper\config.txt"
    Delete "$INSTDIR\ZebHelper\OrvantaPath.txt"
    Delete "$INSTDIR\ZebHelper\debug.txt"
    Delete "$INSTDIR\ZebHelper\ZebrixServer_Strings.txt"
    Delete "$INSTDIR\ZebHelper\ZebrixServer.log"
    Delete "$INSTDIR\ZebHelper\ZebrixServer.log.1"
    Delete "$INSTDIR\ZebHelper\ZebrixServer.lock"
SectionEnd

Section "-un.Folder"
    ; Goes only when nothing of the user's is left in it.
    RMDir "$INSTDIR\ZebHelper"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecServer} "The server program, its Start-menu entry and its log-on start."
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecConfig} "Also remove config.txt, OrvantaPath.txt and the other settings in ZebHelper. Keep them to reinstall later with the same password and identity."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; The uninstaller sits in ZebHelper; the Zebrix folder is its parent.
    ${GetParent} "$INSTDIR" $INSTDIR
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVECONFIG" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${UnSecConfig}
    ${EndIf}
FunctionEnd
