// The tavro program: the driver does all the work.
#include "driver/driver.h"

int main(int argc, char** argv) {
    tavro::Console console = tavro::openConsole();
    return tavro::runCommandLine(argc, argv, console);
}
