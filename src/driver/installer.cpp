// The installer's main flow.
#include "driver/installer.h"

int RunInstaller() {
    return 1;
}
