#include "startup/Application.h"

int main(int argc, char **argv) {
    return kivora::runApplication(argc, argv);
}
