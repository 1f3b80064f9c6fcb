// Evaluating a compiled expression must not allocate: index builds evaluate
// keys and FOR conditions for every record of a table.
//
// This file replaces the global operator new and delete of the whole test
// program with counting versions (one replacement per program is possible:
// other tests that want to count allocations use allocationCount()).
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "expr_test_support.h"
#include "store/xbase/expr.h"
#include "store/xbase/settings.h"

namespace {
std::atomic<long> gAllocations{0};

void* countedAlloc(std::size_t n, std::size_t align = 0) noexcept {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (n == 0) n = 1;
    if (align <= alignof(std::max_align_t)) return std::malloc(n);
    return std::aligned_alloc(align, (n + align - 1) / align * align);
}

void* countedAllocOrThrow(std::size_t n, std::size_t align = 0) {
    if (void* p = countedAlloc(n, align)) return p;
    throw std::bad_alloc();
}
}  // namespace

// Every form, so that no library mixes these with the runtime's own.
void* operator new(std::size_t n) {
    return countedAllocOrThrow(n);
}
void* operator new[](std::size_t n) {
    return countedAllocOrThrow(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return countedAlloc(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    return countedAlloc(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
    return countedAllocOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return countedAllocOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return countedAlloc(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return countedAlloc(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace exprtest {
// Calls of operator new so far in this program.
long allocationCount() {
    return gAllocations.load(std::memory_order_relaxed);
}
}  // namespace exprtest

namespace {

struct Sample {
    bool fileTable;
    const char* text;
};

TEST(ExprAllocation, EvaluationDoesNotAllocateAfterWarmUp) {
    xb::SettingsGuard guard;
    const xb::FieldList dir = exprtest::dirLayout();
    const xb::FieldList disk = exprtest::diskLayout();

    std::vector<exprtest::RecordBuilder> files, entries;
    const char* names[] = {"readme", "Ärger", "x", "", "setup_program_1"};
    for (int i = 0; i < 5; ++i) {
        exprtest::RecordBuilder f(dir);
        f.number("dirnumm", i == 3 ? 99999999 : 1000 + i * 37)
            .set("dirname", names[i])
            .set("direndung", i % 2 ? "exe" : "TXT")
            .set("dirpfad", std::string("C:\\Programme\\") + names[i])
            .set("dirdate", i == 2 ? "" : "20240229")
            .number("dirsize", i * 123456.0)
            .set("dirtime", "12:3" + std::to_string(i));
        files.push_back(f);
        exprtest::RecordBuilder e(disk);
        e.number("eindeutig", i + 1)
            .set("bezeich", i % 2 ? "Windows 95" : "Übungen")
            .number("boxnummer", 7)
            .deleted(i == 4);
        if (i != 1) e.number("disknummer", i * 11);
        entries.push_back(e);
    }

    const Sample samples[] = {
        {true, "str(dirnumm,8)+dirpfad"},
        {true, "upper(dirname+direndung)+str(dirnumm,8)"},
        {true, "upper(direndung)+dirname+str(dirnumm,8)"},
        {true, "dirnumm<99999999"},
        {true, "trim(dirname)"},  // a result in the record, copied out
        {true, "dirpfad"},
        {true, "dtos(dirdate + 1) + lower(dirtime) - substr(dirpfad, 2, 5) + left(dirname, 3)"},
        {true, "val(dirtime) + len(alltrim(dirpfad)) * dirsize / 3"},
        {true, "str(dirsize / 7, 14, 3) + str(dirsize) + str(-dirnumm, 20, 2)"},
        {true, "dirdate"},
        {true, "empty(dirdate) .or. dirdate > dirdate - 30"},
        {false, "not deleted()"},
        {false, "upper(bezeich)=\"WIN\" .and. boxnummer=7"},
        {false, "upper(bezeich)=\"ÜB\" .or.  upper(kategorie)=\"SPIELE\" .or.  boxnummer=007"},
        {false, "alltrim(str(disknummer+1,5))"},
        {false, "str(boxnummer,5)+str(disknummer,5)"},
        {false, "eindeutig"},
        {false, "recno() = 3 .and. right(trim(bezeich), 2) == \"95\" .and. 'abc' <> bezeich"},
    };
    for (const Sample& s : samples) {
        const xb::FieldList& fields = s.fileTable ? dir : disk;
        const auto& records = s.fileTable ? files : entries;
        const long beforeCompile = exprtest::allocationCount();
        xb::Expr e = xb::Expr::compile(s.text, fields);
        // The counter does see allocations: compiling makes some.
        ASSERT_GT(exprtest::allocationCount(), beforeCompile) << s.text;
        const bool logical = e.type() == xb::ExprType::Logical;
        std::uint8_t key[256];
        const std::size_t keyLen = e.keyLength() ? e.keyLength() : 1;
        auto runAll = [&]() {
            std::size_t sink = 0;
            for (int exact = 0; exact < 2; ++exact) {
                xb::settings().exact = exact == 1;
                for (std::size_t r = 0; r < records.size(); ++r) {
                    const xb::RecordRef ref = records[r].ref(static_cast<std::uint32_t>(r + 1));
                    const xb::Value& v = e.evaluate(ref);
                    sink += v.chars.size() + (v.logical ? 1 : 0);
                    e.evalKey(ref, key, keyLen);
                    sink += key[0];
                    if (logical) sink += e.evalBool(ref) ? 1 : 0;
                }
            }
            return sink;
        };
        runAll();  // warm-up
        const long before = exprtest::allocationCount();
        std::size_t sink = 0;
        for (int round = 0; round < 200; ++round)
            sink += runAll();
        const long made = exprtest::allocationCount() - before;
        EXPECT_EQ(made, 0) << s.text;
        EXPECT_GT(sink, 0u);
    }
}

}  // namespace
