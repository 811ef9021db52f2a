#include "fuzz_support.h"

#include <QCoreApplication>

namespace quorvex::fuzz {

void StartApplication(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
}

} // namespace quorvex::fuzz
