#pragma once
// The numbers that tie the windows, the menus and the language files together.
// Menu command ids are also the "id" of the Items under Orvik_Menu in the language files;
// text ids and column ids select the Items under Dialog.

namespace Ids {

// Menu commands (QAction::data() holds the id).
enum Command : int {
    CmdAddDirectory = 32771,
    CmdExit = 32772,
    CmdPlayRecord = 32773,
    CmdQueryBackup = 32774,
    CmdDelete = 32778,    // "delete the backup" in the main window, "delete the record" in the query window
    CmdSearchAll = 32779, // the search over every backup of the list
    CmdPlayHere = 32790,  // the row menu's "Play here": in the player pane, whatever the settings
    CmdAbout = 16,        // the system-menu entry of the About box
};

// Controls (each widget's objectName is its constant's name, e.g. "IdcBackupList").
enum Control : int {
    IdcBackupList = 1000,
    IdcResultList = 1005,
    IdcRemark = 1010,
    IdcFromCheck = 1016,
    IdcDateFrom = 1017,
    IdcDateTo = 1018,
    IdcCallType = 1019,
    IdcUserName = 1020,
    IdcNumber = 1021,
    IdcFind = 1023,
    IdcExport = 1024,
    IdcProgress = 1048,
    IdcUserNameLabel = 1059,
    IdcNumberLabel = 1060,
    IdcRemarkLabel = 1061,
    IdcCallTypeLabel = 1092,
    IdcToLabel = 1093,
};

// Dialog texts: text id t is Item (t mod 50) of group "UserDlg<t div 50>".
enum Text : int {
    TxtAllCalls = 8,
    TxtIncoming = 9,
    TxtOutgoing = 10,
    TxtMissed = 11,
    TxtExportButton = 17,
    TxtCallTypeLabel = 41,
    TxtToLabel = 42,
    TxtUserNameLabel = 43,
    TxtNumberLabel = 44,
    TxtRemarkLabel = 45,
    TxtFromCheck = 46,
    TxtFindButton = 47,
    TxtQueryCaption = 48,
    TxtAllUsers = 49,
    TxtDeleteCaption = 84,
    TxtErrorCaption = 86,
    TxtProgressCaption = 129,
    TxtDatabaseOpenFailed = 146,
    TxtDeleteQuestion = 160,
    TxtEmptyRecordingPath = 161,
    TxtRecordingDeleted = 162,
    TxtRecordingNotFound = 163,
    TxtExportHeaderFirst = 169, // 169..175: header cells of export columns 1..7
    TxtExportHeaderLast = 175,
    TxtMainCaption = 193,
    TxtFolderPickerTitle = 194,
    TxtOpenedReadOnly = 195,
    TxtRecordingOutside = 196, // playback refused: the file lies outside the voice folder ("%s": path)
    TxtRecordingKept = 197,    // record deleted, its file outside the voice folder kept ("%s": path)
    TxtDatabaseDamaged = 198,  // after Find: "%s" calls readable of "%s" the table counts
    TxtBackupReadOnly = 199,   // delete refused: the backup cannot be written ("%s": backup folder)
    // The player pane under the result list.
    TxtPlay = 250,
    TxtPause = 251,
    TxtBackFive = 252,    // tooltip of the back-5-seconds button
    TxtForwardFive = 253, // tooltip of the forward-5-seconds button
    TxtSpeed = 254,       // tooltip of the speed list
    TxtWaveform = 255,    // tooltip of the waveform strip
    TxtPlayerIdle = 256,  // no row chosen
    TxtPlayerLoading = 257,
    TxtPlayerNoFile = 258,
    TxtPlayerDeleted = 259,
    TxtPlayerMissing = 260, // "%1": the path
    TxtPlayerOutside = 261,
    TxtPlayerEmpty = 262,
    TxtPlayerUndecodable = 263, // "%1": what the decoder said
    TxtPlayerTooLong = 264,
    TxtNoOutputDevice = 265,
    TxtOutputFailed = 266,
    // The status line under the result list ("%1" rows, "%2" missed calls, "%3" talk time).
    TxtListStatus = 267,
    // The date presets beside the date pickers: the list's prompt, then the six ranges.
    TxtDatePresetPrompt = 268,
    TxtPresetToday = 269,
    TxtPresetYesterday = 270,
    TxtPresetThisWeek = 271,
    TxtPresetLastWeek = 272,
    TxtPresetThisMonth = 273,
    TxtPresetLastMonth = 274,
    // The search over every backup: its caption, its progress ("%1" of "%2" backups), and
    // the first line of the message that lists the backups that could not be searched.
    TxtSearchAllCaption = 275,
    TxtSearchProgress = 276,
    TxtSearchFailures = 277,
    // 300-349: the windows as a desktop user expects them.
    TxtAboutCaption = 300,   // the About box's caption ("%1": the program's name)
    TxtAboutPurpose = 301,   // the About box's line under the version
    TxtNarrowPrompt = 302,   // the filter box above the list, while empty
    TxtNarrowTip = 303,      // its tooltip
    TxtStopSearch = 304,     // the search's Stop button
    TxtFailureDamaged = 305, // why a backup could not be searched, in words a user knows
    TxtFailureLocked = 306,
    TxtFailurePassword = 307,
    TxtFailureNoDatabase = 308,
    TxtFailureUnreadable = 309, // any other reason
    TxtFailurePartly = 310,     // the backup was searched, but only in part (damaged)
    TxtVoiceReadOnly = 311,     // delete refused: the voice folder cannot be written ("%s": the folder)
    // The player pane's volume, its "play the next call" toggle (text, tooltip), the second
    // line of the waveform's tooltip, and the status line's note when a double-click plays
    // in the pane because no media player was found.
    TxtVolume = 350,
    TxtContinuous = 351,
    TxtContinuousTip = 352,
    TxtWaveformZoom = 353,
    TxtPlayingHere = 354,
    // The detail panel beside the player pane: its lines, its buttons, the save-as dialog's
    // title and what a save ends with ("%1": the path chosen, "%2": the reason).
    TxtDetailsIdle = 356,
    TxtDetailsLoading = 357,
    TxtDetailsFailed = 358, // "%1": the database's message
    TxtDetailsGone = 359,
    TxtCopyNumber = 360,
    TxtCopyPath = 361,
    TxtShowInFolder = 362,
    TxtSaveRecordingAs = 363,
    TxtSaveRecordingTitle = 364,
    TxtSaveFailed = 365,
    TxtSaveRefused = 366,
    TxtSaved = 367,
    TxtFieldRecordingPath = 368,
    TxtFieldBackup = 369,
    // 370..388: the labels of the record's columns, in the order CAdoRecordR::ColumnNames
    // gives them (id, line_id, record_time_start, ... name, address).
    TxtFieldFirst = 370,
    TxtFieldLast = 388,
    // The statistics beside the list (its tab and the list's), its figures, charts and
    // tables, the line that says what a click narrowed the list to ("%1"), the export's
    // option to add the statistics sheet, and that sheet's titles.
    TxtListTab = 400,
    TxtStatsTab = 401,
    TxtStatsCalls = 402,
    TxtStatsAnswered = 403,
    TxtStatsMissedRate = 404,
    TxtStatsTalkTime = 405,
    TxtStatsAverage = 406,
    TxtStatsMedian = 407,
    TxtStatsLongest = 408,
    TxtStatsFirst = 409,
    TxtStatsLast = 410,
    TxtStatsPerDay = 411,
    TxtStatsPerWeek = 412,
    TxtStatsPerMonth = 413,
    TxtStatsTalkMinutes = 414, // the second axis of the chart over time
    TxtStatsTalkHours = 415,
    TxtStatsHeatMap = 416,
    TxtStatsHeatAll = 417,
    TxtStatsHeatMissed = 418,
    TxtStatsMonday = 419, // 419..425: the weekdays' short names, Monday to Sunday
    TxtStatsSunday = 425,
    TxtStatsPerUser = 426,
    TxtStatsUser = 427,
    TxtStatsTopNumbers = 428,
    TxtStatsNumber = 429,
    TxtStatsTotals = 430,
    TxtStatsDay = 431,
    TxtStatsHour = 432,
    TxtStatsNarrowed = 433, // "%1": what the list shows, e.g. "2009-12-05, Missed"
    TxtStatsShowAll = 434,
    TxtStatsExportOption = 435,
    TxtStatsExportTip = 436,
    TxtStatsNoCalls = 437,
    TxtStatsClickHint = 438,
    TxtStatsWeek = 439, // the first column of the periods' table, beside TxtStatsDay
    TxtStatsMonth = 440,
};

// Column titles ("ColumnId" Items): 1..9 the result list, 15..19 the backup list, 20 the
// search over every backup.
enum Column : int {
    ColResultFirst = 1,
    ColResultLast = 9,
    ColBackupFirst = 15,
    ColBackupLast = 19,
    ColSearchBackup = 20, // the backup's name, first column of the search over every backup
};

} // namespace Ids
