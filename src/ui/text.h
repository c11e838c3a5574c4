#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

namespace keelpack::ui {

// The core speaks 8-bit strings (UTF-8 on Linux) and file names are whatever bytes the file
// system holds. On screen they are shown as UTF-8 with what is not UTF-8 replaced; wherever
// a name goes back to the core, the original bytes are used, kept beside the shown text.
inline QString FromBytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string ToBytes(const QString& text) { return text.toStdString(); }

inline QVariant BytesData(const std::string& bytes) {
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline std::string DataBytes(const QVariant& data) { return data.toByteArray().toStdString(); }

}  // namespace keelpack::ui
