#include "resources/string_table.h"

#include "resources/resource_ids.h"

namespace sorvina::resources {

const char* LoadResourceString(int id) {
  switch (id) {
    case kIdsSheetCaption:
      return "Wizard";
    case kIdsPage1Caption:
      return "Sorvina step 1";
    case kIdsPage1Header:
      return "Select source folders and/or playlists";
    case kIdsPage2Header:
      return "Set what do with mp3 selection";
    case kIdsPage2Caption:
      return "Sorvina step 2";
    case kIdsPage3Caption:
      return "Sorvina step 3";
    case kIdsPage3Header:
      return "Set folder weights (optional)";
    case kIdsPage4Caption:
      return "Sorvina step 4";
    case kIdsPage4Header:
      return "Set how many mp3s to select";
    default:
      return "";
  }
}

}  // namespace sorvina::resources
