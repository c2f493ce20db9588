#include "driver/run_program.h"

int main() {
    return kvw::driver::runAndClose();
}
