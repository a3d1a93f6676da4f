// The tavro program: the driver does all the work.
#include "driver/driver.h"

int main(int argc, char** argv) { return runDriver(argc, argv); }
