#include "catalogue/dm.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include "store/tapolloenv.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace {

TEST(DataModule, KeepsTheProgramDirectoryWithItsSeparator) {
    qvtest::TempDir dir;
    const QString path = QString::fromStdString(dir.path().string());
    TDM dm(path);
    EXPECT_EQ(dm.objectName(), QStringLiteral("DM"));
    EXPECT_EQ(dm.programDir(), path + QLatin1Char('/'));
    EXPECT_EQ(dm.filePath(QStringLiteral("_qvdisk.dbf")), path + QStringLiteral("/_qvdisk.dbf"));

    TDM again(path + QStringLiteral("//"));
    EXPECT_EQ(again.programDir(), path + QLatin1Char('/'));
}

TEST(DataModule, DefaultsToTheDirectoryOfTheProgramFile) {
    TDM dm;
    EXPECT_EQ(dm.programDir(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_EQ(qv::defaultProgramDirectory(), dm.programDir());
}

TEST(DataModule, RelativeDirectoriesBecomeAbsolute) {
    const QString expected = QDir::current().absoluteFilePath(QStringLiteral("sub")) + '/';
    EXPECT_EQ(qv::withTrailingSeparator(QStringLiteral("sub")), expected);
    EXPECT_EQ(qv::withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
}

// "label/width" of the visible columns of an open table object, in order.
QStringList visibleColumns(const TTable& t) {
    QStringList out;
    for (const FieldDisplayDef& d : t.displayFields())
        if (d.visible) out << QStringLiteral("%1/%2").arg(d.label).arg(d.width);
    return out;
}

TEST(DataModule, TableObjectsOnTheProgramDirectory) {
    xb::SettingsGuard settings;
    xb::settings() = xb::Settings();
    qvtest::TempDir dir;
    qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
    TDM dm(QString::fromStdString(dir.path().string()));

    // The engine settings of the program.
    EXPECT_TRUE(TApolloEnv::century());
    EXPECT_EQ(TApolloEnv::dateFormat(), TApolloEnv::German);
    EXPECT_TRUE(TApolloEnv::softSeek());
    EXPECT_TRUE(TApolloEnv::deleted());

    struct Expected {
        TTable* table;
        const char* name;
        const char* file;
        bool readOnly;
    };
    for (const Expected& e :
         {Expected{&dm.table(qv::CatalogueTable::Entries), "Table1", "_qvdisk.dbf", false},
          Expected{&dm.table(qv::CatalogueTable::Files), "Table2", "_qvdir.dbf", false},
          Expected{&dm.table(qv::CatalogueTable::Extensions), "Table3", "_endung.dbf", false},
          Expected{&dm.table(qv::CatalogueTable::Categories), "Table4", "_katego.dbf", false},
          Expected{&dm.table(qv::CatalogueTable::CarrierTypes), "Table5", "_diskart.dbf", false},
          Expected{&dm.table(qv::CatalogueTable::Addresses), "Table6", "_verleih.dbf", false},
          Expected{dm.tbl_recherche2, "tbl_recherche2", "_qvdir.dbf", true}}) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.table->objectName(), QLatin1String(e.name));
        EXPECT_EQ(e.table->DatabaseName(), dm.programDir());
        EXPECT_EQ(e.table->filePath(), dm.filePath(QLatin1String(e.file)));
        EXPECT_EQ(e.table->TableType(), QStringLiteral("ttSXNSX"));
        EXPECT_TRUE(e.table->Exclusive());
        EXPECT_EQ(e.table->ReadOnly(), e.readOnly);
        EXPECT_FALSE(e.table->Active());
    }
    EXPECT_EQ(dm.table(qv::CatalogueTable::Addresses).TableName(), QStringLiteral("_verleih"));
    EXPECT_EQ(&dm.table(qv::CatalogueTable::CarrierTypes),
              &dm.table(qv::CatalogueTable::CarrierTypes));

    // How the grids show the fields.
    for (TTable* t :
         {&dm.table(qv::CatalogueTable::Entries), &dm.table(qv::CatalogueTable::Files),
          &dm.table(qv::CatalogueTable::Categories), &dm.table(qv::CatalogueTable::Addresses)})
        t->Open();
    EXPECT_EQ(visibleColumns(dm.table(qv::CatalogueTable::Entries)),
              (QStringList{"Bezeichnung/45", "Anzahl/5", "Box/5", "Nummer/5", "Datenträger/11",
                           "Kategorie/17"}));
    const QStringList fileColumns = {"Datei/15", "Größe/10", "Datum/10", "Zeit/5",
                                     "Verzeichnis+Datei/86"};
    EXPECT_EQ(visibleColumns(dm.table(qv::CatalogueTable::Files)), fileColumns);
    const QList<FieldDisplayDef> entryFields =
        dm.table(qv::CatalogueTable::Entries).displayFields();
    ASSERT_EQ(entryFields.size(), 22);
    EXPECT_EQ(entryFields[6].label, QStringLiteral("EINDEUTIG"));
    QString statusLabels;
    for (int i = 7; i < 19; ++i) {
        EXPECT_FALSE(entryFields[i].visible);
        EXPECT_EQ(entryFields[i].width, 2);
        statusLabels += entryFields[i].label;
    }
    EXPECT_EQ(statusLabels, QStringLiteral("123W56789ABC"));
    EXPECT_EQ(dm.table(qv::CatalogueTable::Files).displayFields().size(), 7)
        << "DIRMEMO is not shown";
    EXPECT_FALSE(dm.table(qv::CatalogueTable::Files).FieldByName("DIRENDUNG").Visible());
    EXPECT_EQ(dm.table(qv::CatalogueTable::Files).FieldByName("DIRENDUNG").DisplayLabel(),
              QStringLiteral(" "));
    // The search in all files reads the file table while Table2 is closed.
    dm.table(qv::CatalogueTable::Files).Close();
    dm.tbl_recherche2->Open();
    EXPECT_EQ(visibleColumns(*dm.tbl_recherche2), fileColumns);
    EXPECT_EQ(visibleColumns(dm.table(qv::CatalogueTable::Categories)),
              (QStringList{"KATEGO/20", "ANZAHL/6"}));
    EXPECT_EQ(visibleColumns(dm.table(qv::CatalogueTable::Addresses)).first(),
              QStringLiteral("VNUMMER/5"));
    EXPECT_EQ(visibleColumns(dm.table(qv::CatalogueTable::Addresses)).size(), 12);
}

}  // namespace
