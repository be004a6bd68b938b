#include "support/Translate.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setOrganizationName(QStringLiteral("Marbask"));
    QTextStream(stdout) << quorvel::TranslateText(QStringLiteral("Quorvel")) << ' '
                        << QUORVEL_VERSION_MAJOR << '.' << QUORVEL_VERSION_MINOR << '.'
                        << QUORVEL_VERSION_PATCH << '.' << QUORVEL_VERSION_TWEAK << Qt::endl;
    return 0;
}
