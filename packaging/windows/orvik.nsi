; The Windows installer of Orvik, made on Linux with NSIS by scripts/build-windows.sh:
;
;   makensis -DSTAGE=<folder> -DSETTINGS=<version.nsh> -DUNINSTALL_LIST=<list.nsh> -DOUTFILE=<setup.exe> orvik.nsi
;
; STAGE holds the installation as it is laid out on disk (bin\ with the executables, Qt's and
; the compiler's DLLs and plugins; share\orvik\ with the language files and the template),
; SETTINGS the version and publisher that CMake writes from the project's version, and
; UNINSTALL_LIST one Delete per staged file and one RMDir per staged folder, deepest first.
;
; Started normally it installs for the current user, without administrator rights, under
; %LOCALAPPDATA%\Programs\Orvik; started elevated (by an administrator), for all users under
; Program Files. /CurrentUser or /AllUsers choose the mode, /D=<folder> (last) the folder, /S
; installs silently. It adds one Start-menu entry and registers its uninstaller under
; Apps & features (HKCU or HKLM ...\Uninstall\Orvik), which removes exactly the staged files
; and leaves the user's own (config.ini, the edited template, remembered windows).
Unicode true
Target amd64-unicode

!include "${SETTINGS}"
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvik"
!define PROGRAM "bin\orvik.exe"

Name "Orvik"
OutFile "${OUTFILE}"
; Elevation is never asked for: an administrator who wants Orvik for every user starts the
; setup elevated.
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${ORVIK_VERSION_QUAD}"
VIAddVersionKey /LANG=0 "ProductName" "Orvik"
VIAddVersionKey /LANG=0 "ProductVersion" "${ORVIK_VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${ORVIK_VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${ORVIK_PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Orvik ${ORVIK_VERSION} Setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "GNU General Public License, version 3 or later"

Var AllUsers ; 1: for all users (HKLM, Program Files), 0: for the current user

!define MUI_ICON "${ORVIK_ICON}"
!define MUI_UNICON "${ORVIK_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${PROGRAM}"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${ORVIK_LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The languages of Orvik itself; the system's is chosen.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "Turkish"

LangString NeedsAdmin ${LANG_ENGLISH} "Orvik is installed for all users of this computer. Start the uninstaller as an administrator to remove it."
LangString NeedsAdmin ${LANG_SIMPCHINESE} "Orvik 是为这台计算机的所有用户安装的。请以管理员身份运行卸载程序来删除它。"
LangString NeedsAdmin ${LANG_TRADCHINESE} "Orvik 是為這台電腦的所有使用者安裝的。請以系統管理員身分執行解除安裝程式來移除它。"
LangString NeedsAdmin ${LANG_TURKISH} "Orvik bu bilgisayarın tüm kullanıcıları için kurulu. Kaldırmak için kaldırıcıyı yönetici olarak başlatın."
LangString AllUsersNeedsAdmin ${LANG_ENGLISH} "Installing Orvik for all users needs administrator rights. Start the setup as an administrator."
LangString AllUsersNeedsAdmin ${LANG_SIMPCHINESE} "为所有用户安装 Orvik 需要管理员权限。请以管理员身份运行安装程序。"
LangString AllUsersNeedsAdmin ${LANG_TRADCHINESE} "為所有使用者安裝 Orvik 需要系統管理員權限。請以系統管理員身分執行安裝程式。"
LangString AllUsersNeedsAdmin ${LANG_TURKISH} "Orvik'i tüm kullanıcılar için kurmak yönetici hakları gerektirir. Kurulumu yönetici olarak başlatın."

; $AllUsers from the command line (/AllUsers, /CurrentUser), else from the rights the
; process runs with: an elevated administrator's process installs for all users.
!macro ChooseMode un
Function ${un}ChooseMode
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    Return
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
    Return
  ${EndIf}
  UserInfo::GetAccountType
  Pop $R1
  ${If} $R1 == "Admin"
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
FunctionEnd
!macroend
!insertmacro ChooseMode ""
!insertmacro ChooseMode "un."

; Shortcuts, $SMPROGRAMS and SHCTX (the registry root) follow the mode.
!macro UseMode
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
!macroend

!macro RequireAdminForAllUsers message
  ${If} $AllUsers == 1
    UserInfo::GetAccountType
    Pop $R1
    ${If} $R1 != "Admin"
      MessageBox MB_OK|MB_ICONSTOP "$(${message})" /SD IDOK
      SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
  Call ChooseMode
  !insertmacro RequireAdminForAllUsers AllUsersNeedsAdmin
  !insertmacro UseMode
  ; /D= on the command line has set $INSTDIR already; otherwise the folder of an earlier
  ; installation in this mode, else the default of the mode.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      StrCpy $INSTDIR "$PROGRAMFILES64\Orvik"
    ${Else}
      ; FOLDERID_UserProgramFiles: %LOCALAPPDATA%\Programs
      GetKnownFolderPath $INSTDIR {5CD7AEE2-2219-4A67-B85D-6C9CE15660CB}
      ${If} $INSTDIR == ""
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs"
      ${EndIf}
      StrCpy $INSTDIR "$INSTDIR\Orvik"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Orvik"
  ; An earlier installation in this folder goes first, by its own uninstaller (in place,
  ; silently), so that no file of an older version stays behind.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ${If} $AllUsers == 1
      ExecWait '"$INSTDIR\uninstall.exe" /S /AllUsers _?=$INSTDIR'
    ${Else}
      ExecWait '"$INSTDIR\uninstall.exe" /S /CurrentUser _?=$INSTDIR'
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR\bin"
  CreateShortcut "$SMPROGRAMS\Orvik.lnk" "$INSTDIR\${PROGRAM}" "" "$INSTDIR\${PROGRAM}" 0

  ; Apps & features.
  StrCpy $R0 "/CurrentUser"
  ${If} $AllUsers == 1
    StrCpy $R0 "/AllUsers"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Orvik"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${ORVIK_VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${ORVIK_PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $R0'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S $R0'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $R1 $R2 $R3
  IntFmt $R1 "0x%08X" $R1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R1
SectionEnd

Function un.onInit
  Call un.ChooseMode
  !insertmacro RequireAdminForAllUsers NeedsAdmin
  !insertmacro UseMode
FunctionEnd

Section "Uninstall"
  ; Only what the setup put there: files the user added to these folders stay, and so do
  ; the folders holding them. The user's settings, template and remembered windows live in
  ; the user's own folders and are not touched.
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Orvik.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
