// File names chosen in the program's dialogs, turned into the bytes the file system expects.
//
// The program's file names were once converted with a fixed Chinese code page (GB2312), which
// is what the file system of its first platform expected. Here the file system takes the
// locale's encoding (UTF-8 on any current system): a GB2312 conversion would make every
// non-ASCII folder or file name unreachable, so the conversion goes through the locale instead.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kv {

inline QByteArray fileNameBytes(const QString& name) { return QFile::encodeName(name); }

}  // namespace kv
