#include "tests/support/ZipBuilder.h"

#include <QFile>

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
    QFile::remove(path);
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const Entry& entry : m_entries) {
        zip_fileinfo info = {};
        const int method = entry.method == Deflated ? Z_DEFLATED : 0;
        ok = ok &&
             zipOpenNewFileInZip64(zip, entry.name.constData(), &info, nullptr, 0, nullptr, 0,
                                   nullptr, method, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, entry.data.constData(), unsigned(entry.data.size())) ==
                 ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}
