#include "ui/shell/selector_app.h"

int main(int argc, char* argv[]) {
  return sorvina::ui::SelectorApp::Run(argc, argv);
}
