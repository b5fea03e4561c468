#include "console/language_texts.h"

namespace {

struct KeyMember {
    const char* key;
    std::string LanguageTextSet::*member;
};

const KeyMember kKeys[LanguageTextSet::kCount] = {
    {"claqel", &LanguageTextSet::claqel},
    {"dellall", &LanguageTextSet::dellall},
    {"qeltype", &LanguageTextSet::qeltype},
    {"closecom", &LanguageTextSet::closecom},
    {"connect", &LanguageTextSet::connect},
    {"opencom", &LanguageTextSet::opencom},
    {"cominfo", &LanguageTextSet::cominfo},
    {"tester", &LanguageTextSet::tester},
    {"company", &LanguageTextSet::company},
    {"readfile", &LanguageTextSet::readfile},
    {"hour", &LanguageTextSet::hour},
    {"data", &LanguageTextSet::data},
    {"month", &LanguageTextSet::month},
    {"year", &LanguageTextSet::year},
    {"cut", &LanguageTextSet::cut},
    {"save", &LanguageTextSet::save},
    {"conok", &LanguageTextSet::conok},
    {"settime", &LanguageTextSet::settime},
    {"timedata", &LanguageTextSet::timedata},
    {"powerdbm", &LanguageTextSet::powerdbm},
    {"report", &LanguageTextSet::report},
    {"contcreat", &LanguageTextSet::contcreat},
    {"initfail", &LanguageTextSet::initfail},
    {"contopen", &LanguageTextSet::contopen},
    {"comnotopen", &LanguageTextSet::comnotopen},
    {"selcomno", &LanguageTextSet::selcomno},
    {"calok", &LanguageTextSet::calok},
    {"cutok", &LanguageTextSet::cutok},
    {"qelno", &LanguageTextSet::qelno},
    {"mark", &LanguageTextSet::mark},
    {"inputinfo", &LanguageTextSet::inputinfo},
    {"notarizedel", &LanguageTextSet::notarizedel},
    {"notarizecal", &LanguageTextSet::notarizecal},
    {"sellange", &LanguageTextSet::sellange},
    {"ref", &LanguageTextSet::ref},
    {"lamda", &LanguageTextSet::lamda},
    {"no", &LanguageTextSet::no},
    {"rst", &LanguageTextSet::rst},
    {"exit", &LanguageTextSet::exit},
    {"settimeok", &LanguageTextSet::settimeok},
    {"dellallok", &LanguageTextSet::dellallok},
    {"norecord", &LanguageTextSet::norecord},
};

}  // namespace

const char* LanguageTextSet::Key(std::size_t i) { return i < kCount ? kKeys[i].key : ""; }

std::string& LanguageTextSet::At(std::size_t i) { return this->*kKeys[i].member; }
