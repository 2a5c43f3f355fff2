// kelo: the desktop program.
#include "ui/KeloApp.h"

int main(int argc, char** argv) { return kelo::ui::runKelo(argc, argv); }
