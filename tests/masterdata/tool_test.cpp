// The store tool's master-data commands on a catalogue directory.
#include <sstream>

#include <gtest/gtest.h>

#include "catalogue/qvdb.h"
#include "lending/core/lending_tool.h"
#include "masterdata/core/masterdata_tool.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/testutil.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun tool(std::vector<std::string> args) {
    static const bool added = (qv::addLendingToolCommands(), qv::addMasterdataToolCommands(), true);
    (void)added;
    std::istringstream in;
    std::ostringstream out, err;
    const int status = qvdb::run(args, in, out, err);
    return {status, out.str(), err.str()};
}

TEST(MasterdataTool, AddressNumbersLendingAndStatusNames) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    const std::string d = dir.path().string();
    EXPECT_EQ(tool({"address-next", d}).out, "1\n");

    qvtest::AddressRow a;
    a.number = 1;
    a.name = QStringLiteral("Anna");
    qvtest::addAddresses(dir.path(), {a});
    qvtest::addEntries(dir.path(), qvtest::numberedEntries(2));
    EXPECT_EQ(tool({"lend", d, "2", "raus", "2"}).status, 0);
    // Address 2 does not exist yet, but entry 2 refers to it: the next is 3.
    EXPECT_EQ(tool({"address-next", d}).out, "3\n");
    const ToolRun missing = tool({"lend", d, "7", "rein", "1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("Nummer 7"), std::string::npos);

    std::vector<std::string> names = {"eins",   "",     "drei", "vier", "fünf", "sechs",
                                      "sieben", "acht", "neun", "zehn", "elf",  "zwölf"};
    std::vector<std::string> args = {"status-names", d};
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_EQ(tool(args).status, 0);
    EXPECT_EQ(tool({"status-names", d}).out,
              "eins\n\ndrei\nvier\nfünf\nsechs\nsieben\nacht\nneun\nzehn\nelf\nzwölf\n");
}

}  // namespace
