#pragma once

// Numbers of the program's resources: the string table, the dialog templates, the
// pictures and the controls inside the dialogs. Controls are numbered per dialog, so two
// dialogs may use the same number for different controls.
namespace sorvina::resources {

// Strings.
inline constexpr int kIdsSheetCaption = 103;
inline constexpr int kIdsPage1Caption = 105;
inline constexpr int kIdsPage1Header = 106;
inline constexpr int kIdsPage2Header = 107;
inline constexpr int kIdsPage2Caption = 108;
inline constexpr int kIdsPage3Caption = 109;
inline constexpr int kIdsPage3Header = 110;
inline constexpr int kIdsPage4Caption = 111;
inline constexpr int kIdsPage4Header = 112;

// Dialog templates.
inline constexpr int kIddSourcePage = 104;
inline constexpr int kIddDestinationPage = 105;
inline constexpr int kIddWeightsPage = 106;
inline constexpr int kIddFinalPage = 107;
inline constexpr int kIddWeightDialog = 129;

// Pictures.
inline constexpr int kIdiProgram = 128;
inline constexpr int kIdbWatermark = 133;  // 16 x 16
inline constexpr int kIdbDonation = 135;   // 71 x 42

// The Help command that the wizard's Help button sends to the active page.
inline constexpr int kIdHelp = 57670;

// Standard dialog buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Source page (104).
inline constexpr int kIdcSourceList = 1000;
inline constexpr int kIdcAddFolder = 1001;
inline constexpr int kIdcRemoveSource = 1002;
inline constexpr int kIdcAddPlaylist = 1016;
inline constexpr int kIdcLoadSettings = 1017;
// One check box per file type, numbered from this one in the order the types are listed
// ("mp3" first).
inline constexpr int kIdcFirstFileType = 1040;
inline constexpr int kFileTypeCount = 8;

// Destination page (105).
inline constexpr int kIdcDestinationField = 1003;
inline constexpr int kIdcSetDestination = 1004;
inline constexpr int kIdcCopyToFolder = 1014;
inline constexpr int kIdcCreatePlaylist = 1015;
inline constexpr int kIdcDestinationLabel = 1020;
inline constexpr int kIdcKeepFolders = 1021;
inline constexpr int kIdcReplacePrevious = 1025;
inline constexpr int kIdcDevicePlaylist = 1026;
inline constexpr int kIdcDevicePlaylistName = 1027;
inline constexpr int kIdcRelative = 1028;
inline constexpr int kIdcPlayerChoice = 1031;

// Folder weights page (106).
inline constexpr int kIdcWeightList = 1005;
inline constexpr int kIdcAddWeight = 1006;
inline constexpr int kIdcRemoveWeight = 1007;
inline constexpr int kIdcChangeWeight = 1009;

// Weight dialog (129).
inline constexpr int kIdcWeightField = 1019;
inline constexpr int kIdcWeightFolder = 1032;

// Final settings page (107).
inline constexpr int kIdcMegabyteField = 1008;
inline constexpr int kIdcHoursField = 1009;
inline constexpr int kIdcDonation = 1010;
inline constexpr int kIdcMegabyteButton = 1011;
inline constexpr int kIdcHoursButton = 1012;
inline constexpr int kIdcAllButton = 1013;
inline constexpr int kIdcSaveSettings = 1018;
inline constexpr int kIdcFreeSpace = 1022;
inline constexpr int kIdcKeepFilling = 1023;
inline constexpr int kIdcSummary = 1024;
inline constexpr int kIdcAvoidLast = 1029;
inline constexpr int kIdcAvoidLastCount = 1030;

// Progress window.
inline constexpr int kIdcProgressCancel = 10;
inline constexpr int kIdcProgressText = 11;
inline constexpr int kIdcProgressBar = 12;

}  // namespace sorvina::resources
