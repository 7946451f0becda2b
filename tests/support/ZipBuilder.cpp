#include "tests/support/ZipBuilder.h"

#include <QFile>
#include <QTemporaryDir>

#include <minizip/zip.h>

ZipBuilder& ZipBuilder::add(const QByteArray& name, const QByteArray& data, Method method)
{
    m_entries.append({name, data, method});
    return *this;
}

ZipBuilder& ZipBuilder::addFolder(const QByteArray& name)
{
    return add(name.endsWith('/') ? name : name + '/', {}, Stored);
}

bool ZipBuilder::write(const QString& path) const
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const auto& [name, data, method] : m_entries) {
        zip_fileinfo info = {};
        ok = ok &&
             zipOpenNewFileInZip64(zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   method == Deflated ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION,
                                   0) == ZIP_OK &&
             zipWriteInFileInZip(zip, data.constData(), unsigned(data.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

QByteArray ZipBuilder::bytes() const
{
    const QTemporaryDir dir;
    QFile file(dir.filePath("made.zip"));
    return write(file.fileName()) && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
