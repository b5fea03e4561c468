// The keys of the language file's texts ("language.ini", section "Section1"), in the order of
// the console's language texts.
#pragma once

inline constexpr const char* kLanguageKeys[42] = {
    "claqel", "dellall", "qeltype", "closecom", "connect", "opencom", "cominfo", "tester",
    "company", "readfile", "hour", "data", "month", "year", "cut", "save", "conok", "settime",
    "timedata", "powerdbm", "report", "contcreat", "initfail", "contopen", "comnotopen",
    "selcomno", "calok", "cutok", "qelno", "mark", "inputinfo", "notarizedel", "notarizecal",
    "sellange", "ref", "lamda", "no", "rst", "exit", "settimeok", "dellallok", "norecord"
};
