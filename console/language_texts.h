// The 42 texts of the language file, one per key, in the file's key order.
#pragma once
#include <cstddef>
#include <string>

struct LanguageTextSet {
    std::string claqel, dellall, qeltype, closecom, connect, opencom, cominfo, tester, company, readfile, hour, data,
        month, year, cut, save, conok, settime, timedata, powerdbm, report, contcreat, initfail, contopen, comnotopen,
        selcomno, calok, cutok, qelno, mark, inputinfo, notarizedel, notarizecal, sellange, ref, lamda, no, rst, exit,
        settimeok, dellallok, norecord;

    static constexpr std::size_t kCount = 42;
    // The key of text i and the text itself, in key order.
    static const char* Key(std::size_t i);
    std::string& At(std::size_t i);
};
