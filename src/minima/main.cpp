#include "minima/program.h"

int main(int argc, char** argv) {
    return kvw::minima::runMinima(argc, argv);
}
