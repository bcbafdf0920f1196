// Small helpers shared by the configuration dialogs.
#pragma once

#include <QDateTime>
#include <QFile>
#include <QIcon>
#include <QString>

#include "audit_trail.h"
#include "config_packet.h"

namespace kv::device {

// An image named by its path relative to the working directory ("Resources/images/YES.png");
// the copy compiled into the program stands in when the file is not there.
inline QIcon imageIcon(const QString& relativePath) {
    if (QFile::exists(relativePath)) return QIcon(relativePath);
    const QString name = relativePath.mid(relativePath.lastIndexOf('/') + 1);
    return QIcon(":/image/Resources/images/" + name);
}

inline kv::audit::Stamp stampOf(const QDateTime& t) {
    const QDate d = t.date();
    const QTime c = t.time();
    return {d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second(), c.msec()};
}

inline kv::config::LocalTime localTimeOf(const QDateTime& t) {
    const QDate d = t.date();
    const QTime c = t.time();
    return {d.year(), d.month(), d.day(), c.hour(), c.minute(), c.second()};
}

}  // namespace kv::device
