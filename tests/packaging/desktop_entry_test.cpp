#include <set>
#include <string>

#include <gtest/gtest.h>

#include <QFile>
#include <QMimeDatabase>
#include <QXmlStreamReader>

#include "plugins/susie_plug.h"
#include "spi.h"

namespace {

using TypeSet = std::set<std::string>;

TypeSet DesktopEntryTypes() {
    QFile file(QStringLiteral(KELVANDOR_DESKTOP_ENTRY));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString key = QStringLiteral("MimeType=");
    TypeSet result;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(key)) continue;
        for (const QString& type : line.mid(key.size()).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            result.insert(type.toStdString());
    }
    return result;
}

TypeSet MetainfoTypes() {
    QFile file(QStringLiteral(KELVANDOR_METAINFO));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    TypeSet result;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (xml.isStartElement() && xml.name() == QLatin1String("mediatype")) result.insert(xml.readElementText().toStdString());
        else xml.readNext();
    }
    return result;
}

// The type of every file name pattern the bundled plug-ins claim, as the
// desktop's type database names it; patterns it does not know are left out.
TypeSet BundledPluginTypes() {
    TSusiePlugs plugs;
    plugs.SetPath(KELVANDOR_PLUGIN_DIR);
    EXPECT_GE(plugs.Count(), 6);
    const QMimeDatabase types;
    TypeSet result;
    for (int i = 0; i < plugs.Count(); ++i) {
        TSusiePlug& plug = *plugs.Items(i);
        const TSusiePlugUse use(plug);
        const QString patterns = QString::fromStdString(plug.GetInfo(SPI_INFO_PATTERN));
        for (const QString& pattern : patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString name = QString(pattern).replace(QLatin1Char('*'), QStringLiteral("name"));
            const QMimeType type = types.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
            if (!type.isDefault()) result.insert(type.name().toStdString());
        }
    }
    return result;
}

TEST(DesktopEntryTest, OffersExactlyTheImageTypesTheBundledPluginsRead) {
    const TypeSet read = BundledPluginTypes();
    EXPECT_TRUE(read.count("image/jpeg") == 1 && read.count("image/webp") == 1);
    EXPECT_EQ(DesktopEntryTypes(), read);
    EXPECT_EQ(MetainfoTypes(), read);
}

}  // namespace
