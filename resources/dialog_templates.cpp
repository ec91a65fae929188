#include "resources/dialog_templates.h"

#include <QCoreApplication>
#include <QtGlobal>

#include "resources/resource_ids.h"

namespace sorvina::resources {
namespace {

using enum ControlKind;

// Source page: sources listed, added and removed; settings loaded; the types of music
// file to choose, in two rows of check boxes beside "Load Settings".
constexpr ControlTemplate kSourcePageControls[] = {
    {kPushButton, kIdcLoadSettings, QT_TRANSLATE_NOOP("sorvina::resources", "Load Settings"), 7, 7,
     54, 14},
    {kListBox, kIdcSourceList, "", 7, 40, 272, 54},
    {kPushButton, kIdcAddFolder, QT_TRANSLATE_NOOP("sorvina::resources", "Add Folder"), 7, 111, 55,
     14},
    {kPushButton, kIdcAddPlaylist, QT_TRANSLATE_NOOP("sorvina::resources", "Add Playlist"), 71, 111,
     55, 14},
    {kPushButton, kIdcRemoveSource, QT_TRANSLATE_NOOP("sorvina::resources", "Remove"), 145, 111, 50,
     14},
    {kLabel, kNoControlId, QT_TRANSLATE_NOOP("sorvina::resources", "File types:"), 79, 10, 40, 8},
    {kCheckBox, kIdcFirstFileType, "mp3", 123, 9, 36, 10},
    {kCheckBox, kIdcFirstFileType + 1, "flac", 162, 9, 36, 10},
    {kCheckBox, kIdcFirstFileType + 2, "ogg", 201, 9, 36, 10},
    {kCheckBox, kIdcFirstFileType + 3, "opus", 240, 9, 36, 10},
    {kCheckBox, kIdcFirstFileType + 4, "m4a", 123, 23, 36, 10},
    {kCheckBox, kIdcFirstFileType + 5, "wma", 162, 23, 36, 10},
    {kCheckBox, kIdcFirstFileType + 6, "wav", 201, 23, 36, 10},
    {kCheckBox, kIdcFirstFileType + 7, "aiff", 240, 23, 36, 10},
};

// Destination page: copy or playlist, each with its own choices below it, and where to; the
// players plugged in, for a copy.
constexpr ControlTemplate kDestinationPageControls[] = {
    {kRadioButton, kIdcCopyToFolder,
     QT_TRANSLATE_NOOP("sorvina::resources", "Copy files to destination folder"), 25, 10, 106, 10},
    {kCheckBox, kIdcKeepFolders,
     QT_TRANSLATE_NOOP("sorvina::resources", "Keep each file's folders"), 37, 23, 100, 10},
    {kCheckBox, kIdcReplacePrevious,
     QT_TRANSLATE_NOOP("sorvina::resources", "Replace the songs of the previous fill"), 37, 35, 150,
     10},
    {kCheckBox, kIdcDevicePlaylist,
     QT_TRANSLATE_NOOP("sorvina::resources", "Write a playlist into the folder:"), 37, 47, 124, 10},
    {kEditField, kIdcDevicePlaylistName, "", 163, 46, 84, 12},
    {kRadioButton, kIdcCreatePlaylist, QT_TRANSLATE_NOOP("sorvina::resources", "Create playlist"),
     25, 62, 59, 10},
    {kCheckBox, kIdcRelative,
     QT_TRANSLATE_NOOP("sorvina::resources", "Write paths relative to the playlist"), 37, 75, 150,
     10},
    {kPushButton, kIdcSetDestination, QT_TRANSLATE_NOOP("sorvina::resources", "Set"), 25, 93, 50,
     14},
    {kLabel, kIdcDestinationLabel,
     QT_TRANSLATE_NOOP("sorvina::resources", "Set destination folder or playlist file"), 85, 95,
     158, 8},
    {kEditField, kIdcDestinationField, "", 25, 114, 252, 12},
    {kLabel, kNoControlId, QT_TRANSLATE_NOOP("sorvina::resources", "Player:"), 25, 133, 30, 8},
    {kComboBox, kIdcPlayerChoice, "", 60, 131, 217, 14},
};

// Folder weights page: the weight list and its three buttons.
constexpr ControlTemplate kWeightsPageControls[] = {
    {kListBox, kIdcWeightList, "", 7, 7, 287, 101},
    {kPushButton, kIdcAddWeight, QT_TRANSLATE_NOOP("sorvina::resources", "Add"), 7, 116, 50, 14},
    {kPushButton, kIdcRemoveWeight, QT_TRANSLATE_NOOP("sorvina::resources", "Remove"), 73, 116, 50,
     14},
    {kPushButton, kIdcChangeWeight, QT_TRANSLATE_NOOP("sorvina::resources", "Change Weight"), 161,
     116, 70, 14},
};

// Final settings page: the limit choice in a frame, with the free space, filling and the
// songs to avoid, saving, the donation button with its invitation, and the line that says
// what Finish did.
constexpr ControlTemplate kFinalPageControls[] = {
    {kGroupBox, kNoControlId, "", 7, 7, 228, 112},
    {kRadioButton, kIdcMegabyteButton, "", 18, 22, 8, 8},
    {kEditField, kIdcMegabyteField, "", 33, 20, 26, 12},
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP("sorvina::resources", "Select up to this number of MB"), 65, 23, 100, 8},
    {kPushButton, kIdcFreeSpace, QT_TRANSLATE_NOOP("sorvina::resources", "Free space"), 178, 19, 50,
     14},
    {kRadioButton, kIdcHoursButton, "", 18, 45, 8, 11},
    {kEditField, kIdcHoursField, "", 33, 43, 26, 12},
    {kLabel, kNoControlId, QT_TRANSLATE_NOOP("sorvina::resources", "Select up to this many hours"),
     66, 46, 90, 8},
    {kRadioButton, kIdcAllButton, "", 18, 69, 8, 8},
    {kLabel, kNoControlId, QT_TRANSLATE_NOOP("sorvina::resources", "Select all"), 33, 69, 34, 8},
    {kCheckBox, kIdcKeepFilling,
     QT_TRANSLATE_NOOP("sorvina::resources", "Keep filling with files that still fit"), 18, 88, 140,
     10},
    {kCheckBox, kIdcAvoidLast, QT_TRANSLATE_NOOP("sorvina::resources", "Avoid songs of the last"),
     18, 103, 90, 10},
    {kEditField, kIdcAvoidLastCount, "", 110, 102, 20, 12},
    {kLabel, kNoControlId, QT_TRANSLATE_NOOP("sorvina::resources", "fills"), 134, 104, 30, 8},
    {kPushButton, kIdcSaveSettings, QT_TRANSLATE_NOOP("sorvina::resources", "Save Settings"), 241,
     13, 61, 14},
    {kOwnerDrawnButton, kIdcDonation, "", 7, 127, 51, 30},
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP("sorvina::resources", "Sorvina is free, but if you like it please"), 63, 133,
     150, 8},
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP("sorvina::resources", "consider sending a few dollars my way"), 63, 141, 121,
     8},
    {kLabel, kIdcSummary, "", 7, 165, 290, 8},
};

// Weight dialog: one number for the folder it names, with OK as the button Enter presses.
constexpr ControlTemplate kWeightDialogControls[] = {
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP("sorvina::resources",
                       "Enter a number greater than or equal to zero.  Decimals are OK."),
     7, 7, 239, 8},
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP("sorvina::resources",
                       "Numbers less than one mean mp3s in this folder will be less likely to be "
                       "chosen,"),
     7, 25, 236, 8},
    {kLabel, kNoControlId,
     QT_TRANSLATE_NOOP(
         "sorvina::resources",
         "while numbers greater than one mean they will be more likely to be chosen."),
     7, 33, 236, 8},
    {kLabel, kIdcWeightFolder, "", 7, 47, 239, 8},
    {kEditField, kIdcWeightField, "", 37, 62, 40, 12},
    {kPushButton, kIdCancel, QT_TRANSLATE_NOOP("sorvina::resources", "Cancel"), 196, 59, 50, 14},
    {kDefaultPushButton, kIdOk, QT_TRANSLATE_NOOP("sorvina::resources", "OK"), 196, 81, 50, 14},
};

constexpr DialogTemplate kDialogTemplates[] = {
    {kIddSourcePage, "Select Source(s)", 286, 134, kSourcePageControls},
    {kIddDestinationPage, "Select Destination", 284, 150, kDestinationPageControls},
    {kIddWeightsPage, "Set Folder Weights", 301, 138, kWeightsPageControls},
    {kIddFinalPage, "Final Settings", 304, 175, kFinalPageControls},
    {kIddWeightDialog, QT_TRANSLATE_NOOP("sorvina::resources", "Folder weight"), 253, 102,
     kWeightDialogControls},
};

}  // namespace

const DialogTemplate& FindDialogTemplate(int id) {
  for (const DialogTemplate& dialog : kDialogTemplates) {
    if (dialog.id == id) return dialog;
  }
  qFatal("No dialog template %d", id);
}

}  // namespace sorvina::resources
