#include "resources/string_table.h"

#include <QCoreApplication>

#include "resources/resource_ids.h"

namespace sorvina::resources {
namespace {

// The texts as written, in English.
const char* SourceString(int id) {
  switch (id) {
    case kIdsSheetCaption:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Wizard");
    case kIdsPage1Caption:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Sorvina step 1");
    case kIdsPage1Header:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Select source folders and/or playlists");
    case kIdsPage2Header:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Set what to do with the mp3 selection");
    case kIdsPage2Caption:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Sorvina step 2");
    case kIdsPage3Caption:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Sorvina step 3");
    case kIdsPage3Header:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Set folder weights (optional)");
    case kIdsPage4Caption:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Sorvina step 4");
    case kIdsPage4Header:
      return QT_TRANSLATE_NOOP("sorvina::resources", "Set how many mp3s to select");
    default:
      return "";
  }
}

}  // namespace

QString LoadResourceString(int id) {
  return QCoreApplication::translate(kResourceContext, SourceString(id));
}

}  // namespace sorvina::resources
