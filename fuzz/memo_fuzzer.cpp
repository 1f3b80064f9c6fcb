// Fuzzes the memo stores: the input is a kind byte, a count of 10-byte field
// references, the references, and the memo file's bytes. Every reference is
// read; for SMT files the references also drive releases and allocations,
// after each of which the free space must keep its invariants.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/smt_file.h"

namespace {

void checkFreeSpace(const xb::SmtFile& smt) {
    const auto& list = smt.freeList();
    if (list.size() > xb::SmtFile::kMaxFreeEntries) std::abort();
    std::vector<xb::MemoExtent> sorted = list;
    std::sort(sorted.begin(), sorted.end(),
              [](const xb::MemoExtent& a, const xb::MemoExtent& b) { return a.block < b.block; });
    for (std::size_t i = 0; i < list.size(); ++i) {
        const xb::MemoExtent& e = list[i];
        if (e.blocks == 0 || e.blocks > xb::SmtFile::kMaxEntryBlocks) std::abort();
        if (e.block < smt.firstDataBlock()) std::abort();
        if (std::uint64_t{e.block} + e.blocks >= smt.nextFreeBlock()) std::abort();
        if (i > 0 && list[i - 1].blocks > e.blocks) std::abort();
        if (i > 0 && sorted[i - 1].block + std::uint64_t{sorted[i - 1].blocks} > sorted[i].block)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const xb::MemoKind kinds[] = {xb::MemoKind::Smt, xb::MemoKind::Dbt, xb::MemoKind::Fpt};
    const xb::MemoKind kind = kinds[data[0] % 3];
    const std::size_t refs = std::min<std::size_t>(data[1], (size - 2) / 10);
    const std::uint8_t* ref = data + 2;
    const std::uint8_t* file = ref + refs * 10;
    const std::vector<std::uint8_t> bytes(file, data + size);

    xb::MemEnv env(std::uint64_t{4} << 20);
    env.setFile("m", bytes);
    for (bool writable : {false, true}) {
        try {
            auto store = xb::openMemoStore(kind,
                                           env.open("m", writable ? xb::FileAccess::WriteExclusive
                                                                  : xb::FileAccess::ReadShared),
                                           writable);
            for (std::size_t i = 0; i < refs; ++i) {
                const std::uint8_t* r = ref + i * 10;
                store->written(r, 10);
                store->written(r, 4);
                try {
                    store->read(r, 10, static_cast<std::int64_t>(i + 1));
                } catch (const qv::Error&) {
                }
                try {
                    store->read(r, 4, static_cast<std::int64_t>(i + 1));
                } catch (const qv::Error&) {
                }
            }
            auto* smt = dynamic_cast<xb::SmtFile*>(store.get());
            if (!smt || !writable) continue;
            checkFreeSpace(*smt);
            for (std::size_t i = 0; i < refs; ++i) {
                const std::uint8_t* r = ref + i * 10;
                if (r[0] & 1) {
                    smt->release(smt->extentOf(xb::SmtRef::decode(r)));
                } else {
                    const std::uint32_t blocks = r[1] % 64;
                    const std::uint32_t at = smt->allocate(blocks);
                    if (blocks &&
                        (at < smt->firstDataBlock() || at + blocks > smt->nextFreeBlock()))
                        std::abort();
                    smt->writeData(at, std::string(std::min<std::size_t>(blocks * 8, 512), 'd'));
                }
                checkFreeSpace(*smt);
                if (r[2] & 1) smt->writeHeader();
            }
            smt->writeHeader();
        } catch (const qv::Error&) {
        }
    }
    xb::decodeMemoValue(std::string_view(reinterpret_cast<const char*>(file), bytes.size()));
    return 0;
}
