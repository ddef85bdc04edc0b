; The Windows setup program: installs ZebrixServer.exe into the ZebHelper
; folder of a Zebrix installation, where the server expects to live. It runs
; elevated and installs per machine; the server itself always runs as the
; logged-on user.
;
; makensis -DVERSION=2.0.1 -DSTAGE=<shipped> -DGUIDE=<windows.txt> -DOUTFILE=<setup.exe>
;          [-DSIGN=<command signing the file named last>] installer.nsi
;
; Silent use: setup.exe /S [/NOAUTOSTART | /AUTOSTART] [/NOSTART] [/PASSWORD=text] [/FORCE]
;                          [/D=C:\path\to\Zebrix]
;             Uninstall.exe /S [/REMOVECONFIG]
; Exit codes: 0 done, 2 refused (no zebw.exe in the folder without /FORCE, a
; password setup cannot store). What setup did goes to %TEMP%\ZebrixServer-setup.log.

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
; Authenticode: the uninstaller as makensis writes it, then the setup.
!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"' = 0
    !finalize '${SIGN} "%1"' = 0
!endif

!include "MUI2.nsh"
!include "nsDialogs.nsh"
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
; Zebrix's main window, by which a running Zebrix tells where it is installed.
!define ZEBRIX_CLASS "TZebrixWindow"
; How long a running server gets to shut down: 30 x 500 ms.
!define CLOSE_POLLS 30
; The built-in Users group by its SID: its name differs by language.
!define USERS_SID "*S-1-5-32-545"
!define FW_TCP "Zebrix Server (TCP 6789)"
!define FW_UDP "Zebrix Server (UDP 6790)"
!define SETUP_LOG "$TEMP\ZebrixServer-setup.log"
; The server shows its window once when it finds this file at start, and deletes it.
!define FIRST_START_FLAG "firststart.flag"
; What the server writes as its password while checking is off.
!define FACTORY_PASSWORD "kxvwq"
!define MAX_PASSWORD 64

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; The trailing backslash keeps Browse from appending "\Zebrix" to the folder chosen.
InstallDir "$PROGRAMFILES64\Zebrix\"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "ZebrixFolder"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "ZebrixServer developers"

Var WasRunning
Var Restarted
Var Password
Var FinishText
Var PasswordEdit
Var PasswordAgain
Var PasswordNote
Var ZebrixDir

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Set up ${PRODUCT} ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} lets client applications on your network use Zebrix and Orvanta on this computer: remote control, render jobs and discovery.$\r$\n$\r$\nIt is installed into the $\"ZebHelper$\" folder of your Zebrix installation, for every user of this computer. Its settings there (password, server name, identity) are kept when you upgrade.$\r$\n$\r$\nA running ${PRODUCT} is stopped while its program is replaced and started again afterwards."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!define MUI_PAGE_HEADER_TEXT "Choose the Zebrix folder"
!define MUI_PAGE_HEADER_SUBTEXT "${PRODUCT} goes into the ZebHelper folder of Zebrix."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the folder where Zebrix is installed (the folder that holds zebw.exe). ${PRODUCT} goes into its ZebHelper folder; setup lets every user of this computer write there."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Zebrix folder"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CheckZebrixFolder
!insertmacro MUI_PAGE_DIRECTORY
Page custom PasswordPage PasswordPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "${PRODUCT} is installed"
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartServer
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION ShowGuide
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the Windows guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "${PRODUCT} will be removed from the ZebHelper folder below. Zebrix itself, its songs and its other files stay as they are."
!define MUI_UNCONFIRMPAGE_TEXT_LOCATION "Remove from:"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Functions both programs use, once for setup and once ("un.") for the uninstaller.
!macro COMMON un
; Log: the text on the stack goes to the details and to the setup log, which
; a silent deployment has as its only record.
Function ${un}Log
    Exch $0
    Push $1
    DetailPrint "$0"
    ClearErrors
    FileOpen $1 "${SETUP_LOG}" a
    ${IfNot} ${Errors}
        FileSeek $1 0 END
        FileWrite $1 "$0$\r$\n"
        FileClose $1
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; RunTool: runs the command line on the stack, logs it and a failure with
; the tool's own words, and leaves its exit code on the stack.
Function ${un}RunTool
    Exch $0
    Push $1
    Push $2
    Push "Running $0"
    Call ${un}Log
    nsExec::ExecToStack $0
    Pop $1
    Pop $2
    ${If} $1 != 0
        Push "  failed ($1): $2"
        Call ${un}Log
    ${EndIf}
    StrCpy $0 $1
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Asks a running server to close through its window and waits, bounded, until
; its window is gone and its program file ($0 on the stack) can be replaced.
Function ${un}StopServer
    Exch $4
    StrCpy $WasRunning 0
    FindWindow $0 "${SERVER_CLASS}" "${SERVER_TITLE}"
    ${If} $0 == 0
        Pop $4
        Return
    ${EndIf}
    StrCpy $WasRunning 1
    Push "Stopping the running ${PRODUCT}"
    Call ${un}Log
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
            FileOpen $2 "$4" a
            ${IfNot} ${Errors}
                FileClose $2
                StrCpy $3 1
            ${ElseIfNot} ${FileExists} "$4"
                StrCpy $3 1
            ${EndIf}
        ${EndIf}
        ${If} $1 >= ${CLOSE_POLLS}
        ${AndIf} $3 != 1
            Push "${PRODUCT} did not stop within 15 s"
            Call ${un}Log
            StrCpy $3 1
        ${EndIf}
    ${Loop}
    Pop $4
FunctionEnd
!macroend
!insertmacro COMMON ""
!insertmacro COMMON "un."

!macro LOG text
    Push "${text}"
    Call Log
!macroend
!macro UNLOG text
    Push "${text}"
    Call un.Log
!macroend
; A system tool by its full path: the copy in System32, never one found first on the PATH.
!macro TOOL cmdline
    Push '${cmdline}'
    Call RunTool
    Pop $0
!macroend
!macro UNTOOL cmdline
    Push '${cmdline}'
    Call un.RunTool
    Pop $0
!macroend

Function CheckZebrixFolder
    ${If} ${FileExists} "$INSTDIR\zebw.exe"
        Return
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONEXCLAMATION|MB_DEFBUTTON2 "There is no zebw.exe in$\r$\n$INSTDIR$\r$\n$\r$\n${PRODUCT} must be installed into the Zebrix folder to find Zebrix. Install here anyway?" IDYES +2
    Abort
FunctionEnd

; Asks the desktop's shell to start the server: explorer.exe hands the
; program to the Explorer already running for the logged-on user, which starts
; it un-elevated, as that user. Without a shell in this session (a deployment
; running as SYSTEM) nothing starts: explorer.exe would run the server as
; SYSTEM; the Run value starts it at the next log-on.
Function StartServer
    FindWindow $0 "Shell_TrayWnd"
    ${If} $0 == 0
        !insertmacro LOG "No desktop in this session: ${PRODUCT} starts at the next log-on"
        Return
    ${EndIf}
    !insertmacro LOG "Starting ${PRODUCT} as the logged-on user"
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\ZebHelper\${EXE}"'
FunctionEnd

; Notepad as the user too, not elevated.
Function ShowGuide
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\ZebHelper\windows.txt"'
FunctionEnd

Function FinishPageShow
    ; A server started again after the upgrade needs no second start.
    ${If} $Restarted == 1
        SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${EndIf}
FunctionEnd

; ValidPassword: "" when the text on the stack can be stored as the server
; would read it back, else why not.
Function ValidPassword
    Exch $0
    Push $1
    Push $2
    Push $3
    StrLen $1 $0
    ${If} $1 > ${MAX_PASSWORD}
        StrCpy $0 "The password is longer than ${MAX_PASSWORD} characters."
    ${Else}
        ; Letters, digits and punctuation: what config.txt holds the same in every code page.
        StrCpy $2 0
        ${DoWhile} $2 < $1
            StrCpy $3 $0 1 $2
            Push $3
            Call IsPrintableAscii
            Pop $3
            ${If} $3 != 1
                StrCpy $2 $1
                StrCpy $0 "Use letters, digits and punctuation only (no spaces, no accented letters)."
            ${EndIf}
            IntOp $2 $2 + 1
        ${Loop}
        ${If} $3 == 1
        ${OrIf} $1 == 0
            StrCpy $0 ""
        ${EndIf}
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; 1 when the character on the stack is printable ASCII other than space.
Function IsPrintableAscii
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $1 "!$\"#$$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\]^_`abcdefghijklmnopqrstuvwxyz{|}~"
    StrLen $2 $1
    ${DoWhile} $2 > 0
        IntOp $2 $2 - 1
        StrCpy $3 $1 1 $2
        ${If} $3 S== $0
            StrCpy $2 -1
        ${EndIf}
    ${Loop}
    ${If} $2 == -1
        StrCpy $0 1
    ${Else}
        StrCpy $0 0
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Lower case for A to Z only, as the server lower-cases a password.
Function LowerAscii
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    Push $5
    StrCpy $1 ""
    StrCpy $2 0
    ${Do}
        StrCpy $3 $0 1 $2
        ${If} $3 == ""
            ${Break}
        ${EndIf}
        StrCpy $4 0
        ${DoWhile} $4 < 26
            StrCpy $5 "ABCDEFGHIJKLMNOPQRSTUVWXYZ" 1 $4
            ${If} $5 S== $3
                StrCpy $3 "abcdefghijklmnopqrstuvwxyz" 1 $4
                ${Break}
            ${EndIf}
            IntOp $4 $4 + 1
        ${Loop}
        StrCpy $1 "$1$3"
        IntOp $2 $2 + 1
    ${Loop}
    StrCpy $0 $1
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

Function PasswordPage
    ; An existing installation keeps its password: config.txt is the server's.
    ${If} ${FileExists} "$INSTDIR\ZebHelper\config.txt"
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Server password" "The password clients must give to connect."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "Client applications must give this password to log in. Letters are stored in lower case; at most ${MAX_PASSWORD} characters. You can change it later in the server's Options."
    Pop $0
    ${NSD_CreateLabel} 0 32u 30% 12u "Password:"
    Pop $0
    ${NSD_CreatePassword} 30% 30u 60% 12u "$Password"
    Pop $PasswordEdit
    ${NSD_Edit_SetTextLimit} $PasswordEdit ${MAX_PASSWORD}
    ${NSD_OnChange} $PasswordEdit PasswordChanged
    ${NSD_CreateLabel} 0 50u 30% 12u "Type it again:"
    Pop $0
    ${NSD_CreatePassword} 30% 48u 60% 12u "$Password"
    Pop $PasswordAgain
    ${NSD_Edit_SetTextLimit} $PasswordAgain ${MAX_PASSWORD}
    ${NSD_CreateLabel} 0 72u 100% 36u ""
    Pop $PasswordNote
    Call PasswordChanged
    nsDialogs::Show
FunctionEnd

Function PasswordChanged
    ${NSD_GetText} $PasswordEdit $0
    ${If} $0 == ""
        ${NSD_SetText} $PasswordNote "Without a password, anyone on the network can connect to this server and control Zebrix and Orvanta on this computer. Leave it empty only on a network you trust."
    ${Else}
        ${NSD_SetText} $PasswordNote "Only clients that give this password can connect."
    ${EndIf}
FunctionEnd

Function PasswordPageLeave
    ${NSD_GetText} $PasswordEdit $0
    ${NSD_GetText} $PasswordAgain $1
    ${If} $0 S!= $1
        MessageBox MB_OK|MB_ICONEXCLAMATION "The two passwords differ. Type the same password twice."
        Abort
    ${EndIf}
    Push $0
    Call ValidPassword
    Pop $1
    ${If} $1 != ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "$1"
        Abort
    ${EndIf}
    StrCpy $Password $0
FunctionEnd

; The password chosen goes into a new config.txt, lower-cased as the server
; writes it; the server adds the other settings at its first start.
Function WritePassword
    ${If} ${FileExists} "$INSTDIR\ZebHelper\config.txt"
        ${If} $Password != ""
            !insertmacro LOG "Kept the password of the existing config.txt"
        ${EndIf}
        Return
    ${EndIf}
    ${If} $Password == ""
        !insertmacro LOG "No password given: the server starts with the factory password, and anyone on the network can connect"
        Return
    ${EndIf}
    Push $Password
    Call LowerAscii
    Pop $0
    ${If} $0 == "${FACTORY_PASSWORD}"
        !insertmacro LOG "The password given is the factory password: anyone on the network can connect"
    ${EndIf}
    ClearErrors
    FileOpen $1 "$INSTDIR\ZebHelper\config.txt" w
    ${If} ${Errors}
        !insertmacro LOG "Cannot write $INSTDIR\ZebHelper\config.txt: the password was not set"
        Return
    ${EndIf}
    FileWrite $1 "ServerPassword=$0$\r$\n"
    FileClose $1
    !insertmacro LOG "Password written to $INSTDIR\ZebHelper\config.txt"
FunctionEnd

; Users may change what the server (and Zebrix) write: ZebHelper with
; everything in it, and the job input it hands to Zebrix in the Zebrix folder.
Function GrantUsers
    ${IfNot} ${FileExists} "$INSTDIR\zebinput.txt"
        FileOpen $0 "$INSTDIR\zebinput.txt" w
        FileClose $0
    ${EndIf}
    !insertmacro TOOL '"$SYSDIR\icacls.exe" "$INSTDIR\ZebHelper" /grant ${USERS_SID}:(OI)(CI)M'
    !insertmacro TOOL '"$SYSDIR\icacls.exe" "$INSTDIR\ZebHelper\outputs" /grant ${USERS_SID}:(OI)(CI)M'
    !insertmacro TOOL '"$SYSDIR\icacls.exe" "$INSTDIR\zebinput.txt" /grant ${USERS_SID}:M'
FunctionEnd

; The programs in ZebHelper stay the administrators' to change: a user who
; could replace them would run code as whoever logs on next, or runs the
; uninstaller elevated. Their own rights, not ZebHelper's: Administrators
; and SYSTEM full control, Users read and run.
Function ProtectPrograms
    !insertmacro TOOL '"$SYSDIR\icacls.exe" "$INSTDIR\ZebHelper\${EXE}" /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F ${USERS_SID}:RX'
    !insertmacro TOOL '"$SYSDIR\icacls.exe" "$INSTDIR\ZebHelper\Uninstall.exe" /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F ${USERS_SID}:RX'
FunctionEnd

; Inbound rules for the installed program only, on private and domain
; networks; an earlier install's rules of the same name are replaced.
Function AddFirewallRules
    !insertmacro TOOL '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FW_TCP}"'
    !insertmacro TOOL '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FW_UDP}"'
    !insertmacro TOOL '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FW_TCP}" dir=in action=allow protocol=TCP localport=6789 program="$INSTDIR\ZebHelper\${EXE}" profile=private,domain'
    !insertmacro TOOL '"$SYSDIR\netsh.exe" advfirewall firewall add rule name="${FW_UDP}" dir=in action=allow protocol=UDP localport=6790 program="$INSTDIR\ZebHelper\${EXE}" profile=private,domain'
FunctionEnd

; What earlier versions put into the profile of the account that ran setup.
Function RemovePerUserEntries
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    SetShellVarContext all
FunctionEnd

Section "${PRODUCT}" SecServer
    SectionIn RO
    !insertmacro LOG "${PRODUCT} ${VERSION} into $INSTDIR\ZebHelper"
    Push "$INSTDIR\ZebHelper\${EXE}"
    Call StopServer
    SetOutPath "$INSTDIR\ZebHelper"
    File "${STAGE}/Zebrix/ZebHelper/${EXE}"
    File "/oname=windows.txt" "${GUIDE}"
    CreateDirectory "$INSTDIR\ZebHelper\outputs"
    ; config.txt, OrvantaPath.txt and debug.txt are the server's to write:
    ; never shipped, so an upgrade keeps them as they are.
    Call WritePassword
    FileOpen $0 "$INSTDIR\ZebHelper\${FIRST_START_FLAG}" w
    FileClose $0
    Call GrantUsers
    Call AddFirewallRules
    Call RemovePerUserEntries

    WriteUninstaller "$INSTDIR\ZebHelper\Uninstall.exe"
    Call ProtectPrograms
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
    WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\ZebHelper\${EXE}"'
SectionEnd

Section "-Choices"
    ; A component left out now goes, and the next upgrade offers the same choice.
    ${If} ${SectionIsSelected} ${SecStartMenu}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "StartMenu" 1
    ${Else}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "StartMenu" 0
        Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
        Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
        RMDir "$SMPROGRAMS\${PRODUCT}"
    ${EndIf}
    ${If} ${SectionIsSelected} ${SecAutostart}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Autostart" 1
    ${Else}
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "Autostart" 0
        DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
SectionEnd

Section "-Start again"
    ; A server that ran before the upgrade runs afterwards too; /NOSTART
    ; leaves it stopped, for an administrator who starts it later.
    StrCpy $Restarted 0
    StrCpy $FinishText "${PRODUCT} runs in the notification area. Clients on private and domain networks reach it through the firewall rules setup added (TCP 6789, UDP 6790)."
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/NOSTART" $1
    ${If} ${Errors}
    ${AndIf} $WasRunning == 1
        Call StartServer
        StrCpy $Restarted 1
        StrCpy $FinishText "${PRODUCT} was started again and runs in the notification area, with its settings kept."
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecServer} "The server, ZebrixServer.exe, in the ZebHelper folder of Zebrix, with firewall rules for it."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartMenu} "A Start-menu folder, for every user, with the server and its uninstaller."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Start the server in the notification area whenever anyone logs on to this computer."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The Zebrix folder when neither /D= nor an earlier install named one that
; holds zebw.exe: that of a running Zebrix.
Function FindZebrixFolder
    ${If} ${FileExists} "$INSTDIR\zebw.exe"
        Return
    ${EndIf}
    ${If} "$INSTDIR" != "$PROGRAMFILES64\Zebrix"
        Return
    ${EndIf}
    FindWindow $0 "${ZEBRIX_CLASS}" ""
    ${If} $0 == 0
        Return
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r2'
    ${If} $2 P= 0
        Return
    ${EndIf}
    System::Call 'kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r3, *i ${NSIS_MAX_STRLEN}) i .r4'
    System::Call 'kernel32::CloseHandle(p r2)'
    ${If} $4 != 0
        ${GetParent} "$3" $3
        ${If} ${FileExists} "$3\zebw.exe"
            StrCpy $INSTDIR $3
        ${EndIf}
    ${EndIf}
FunctionEnd

; After the sections, whose numbers it uses.
Function .onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    ; Per machine: shortcuts for all users.
    SetShellVarContext all
    Call FindZebrixFolder
    ${GetParameters} $0

    ; The earlier install's choices, else those of a version that kept
    ; autostart in the profile of the account that ran it.
    ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "ZebrixFolder"
    ${If} $1 != ""
        ClearErrors
        ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "StartMenu"
        ${If} $2 == 0
        ${AndIfNot} ${Errors}
            !insertmacro UnselectSection ${SecStartMenu}
        ${EndIf}
        ClearErrors
        ReadRegDWORD $2 HKLM "${UNINSTALL_KEY}" "Autostart"
        ${If} ${Errors}
            ClearErrors
            ReadRegStr $2 HKCU "${RUN_KEY}" "${RUN_VALUE}"
            ${If} ${Errors}
                StrCpy $2 0
            ${EndIf}
        ${EndIf}
        ${If} $2 == 0
            !insertmacro UnselectSection ${SecAutostart}
        ${EndIf}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/NOAUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecAutostart}
    ${EndIf}

    ClearErrors
    ${GetOptions} $0 "/PASSWORD=" $Password
    ${IfNot} ${Errors}
        Push $Password
        Call ValidPassword
        Pop $1
        ${If} $1 != ""
            !insertmacro LOG "/PASSWORD= refused: $1 Nothing installed."
            ${IfNot} ${Silent}
                MessageBox MB_OK|MB_ICONSTOP "/PASSWORD= refused: $1"
            ${EndIf}
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}

    ; Silently, the folder cannot be asked again: the wrong one is an error.
    ${If} ${Silent}
    ${AndIfNot} ${FileExists} "$INSTDIR\zebw.exe"
        ClearErrors
        ${GetOptions} $0 "/FORCE" $1
        ${If} ${Errors}
            !insertmacro LOG "There is no zebw.exe in $INSTDIR: nothing installed (give the Zebrix folder with /D=, or /FORCE to install there anyway)"
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

; The uninstaller: removes what setup installed and took back what it
; granted; the settings only when asked (the component below, or
; /REMOVECONFIG when silent). Its $INSTDIR is ZebHelper, where it lives.

Section "un.${PRODUCT}" UnSecServer
    SectionIn RO
    !insertmacro UNLOG "Removing ${PRODUCT} from $INSTDIR"
    Push "$INSTDIR\${EXE}"
    Call un.StopServer
    !insertmacro UNTOOL '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FW_TCP}"'
    !insertmacro UNTOOL '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${FW_UDP}"'
    !insertmacro UNTOOL '"$SYSDIR\icacls.exe" "$INSTDIR" /remove:g ${USERS_SID}'
    ${If} ${FileExists} "$INSTDIR\outputs\*.*"
        !insertmacro UNTOOL '"$SYSDIR\icacls.exe" "$INSTDIR\outputs" /remove:g ${USERS_SID}'
    ${EndIf}
    ${If} ${FileExists} "$ZebrixDir\zebinput.txt"
        !insertmacro UNTOOL '"$SYSDIR\icacls.exe" "$ZebrixDir\zebinput.txt" /remove:g ${USERS_SID}'
    ${EndIf}
    Delete "$INSTDIR\${EXE}"
    Delete "$INSTDIR\windows.txt"
    Delete "$INSTDIR\${FIRST_START_FLAG}"
    Delete "$INSTDIR\Uninstall.exe"
    ; Job folders are working files; the server empties them at exit anyway.
    RMDir /r "$INSTDIR\outputs"
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ; Left by versions that installed into the profile of whoever ran setup.
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    SetShellVarContext all
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings" UnSecConfig
    Delete "$INSTDIR\config.txt"
    Delete "$INSTDIR\config.txt.tmp"
    Delete "$INSTDIR\OrvantaPath.txt"
    Delete "$INSTDIR\debug.txt"
    Delete "$INSTDIR\ZebrixServer_Strings.txt"
    Delete "$INSTDIR\ZebrixServer.log"
    Delete "$INSTDIR\ZebrixServer.log.1"
    Delete "$INSTDIR\ZebrixServer.lock"
    ; What the server and Zebrix last exchanged: the last job's text and answers.
    Delete "$INSTDIR\zebinput.txt"
    Delete "$INSTDIR\zeboutput.txt"
    Delete "$INSTDIR\songlist.txt"
    Delete "$INSTDIR\song.txt"
    Delete "$INSTDIR\sectionnames.txt"
    Delete "$ZebrixDir\zebinput.txt"
SectionEnd

Section "-un.Folder"
    ; Goes only when nothing of the user's is left in it.
    RMDir "$INSTDIR"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecServer} "The server program, its firewall rules, its Start-menu entry and its log-on start."
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecConfig} "Also remove the settings (password, name, identity, Orvanta path), the log and the last job's files. Keep them to reinstall later with the same password and identity."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
    ${If} ${RunningX64}
        SetRegView 64
    ${EndIf}
    SetShellVarContext all
    ; The uninstaller sits in ZebHelper; the Zebrix folder is its parent.
    ${GetParent} "$INSTDIR" $ZebrixDir
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REMOVECONFIG" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${UnSecConfig}
    ${EndIf}
FunctionEnd
