// Window pictures for scripts/screens: when QM_SCREENS_DIR is set, a window test saves
// what the window shows as <dir>/<name>.png. Otherwise nothing happens.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace qm::test {

inline void saveScreen(QWidget* w, const QString& name) {
    const QByteArray dir = qgetenv("QM_SCREENS_DIR");
    if (dir.isEmpty() || !w) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    QCoreApplication::processEvents();
    w->grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

}  // namespace qm::test
