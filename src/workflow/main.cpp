// The desktop program.
#include "printing/layout/fonts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    qm::installFontSubstitutions();
    return 0;
}
