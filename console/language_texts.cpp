#include "console/language_texts.h"

#include "console/meter_protocol.h"

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

using File = LanguageTextSet;

// The fourth and fifth headings are inserted at 4 and then at 3: "REF" comes before "DATA/TIME".
constexpr RecordsColumn kEnglishColumns[] = {
    {0, "NUMBER"},      {1, "WAVE LENGTH"}, {2, "POWER"},     {4, "DATA/TIME"}, {3, "REF"},   {5, "NOTE"},
    {6, "WAVE LENGTH"}, {7, "POWER"},       {8, "DATA/TIME"}, {9, "REF"},       {10, "NOTE"}, {11, "NOTE"},
};
constexpr int kEnglishWidths[] = {60, 100, 100, 100, 150, 100, 100, 100, 100, 100, 100, 100};

// As in English, "ref" is inserted after "timedata" and comes before it. Sixteen columns; the
// last keeps the width it was inserted with.
constexpr RecordsColumn kChineseColumns[] = {
    {0, &File::no},    {1, &File::lamda}, {2, &File::powerdbm}, {4, &File::timedata},
    {3, &File::ref},   {5, &File::mark},  {6, &File::mark},     {7, &File::mark},
    {8, &File::mark},  {9, &File::mark},  {10, &File::mark},    {11, &File::mark},
    {12, &File::mark}, {13, &File::mark}, {14, &File::mark},    {15, &File::mark},
};
constexpr int kChineseWidths[] = {60, 100, 100, 100, 150, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100};

constexpr RecordsColumn kItalianColumns[] = {
    {0, "NUMERO"}, {1, "LUNGHEZZA D'ONDA"}, {2, "POTENZA"}, {3, "GIORNO/ORA"}, {4, "NOTE"},
};
constexpr int kItalianWidths[] = {60, 140, 140, 180, 60};

// Only the Chinese sheet is labelled: the title and the labels of the header block, then the
// column headings.
constexpr SheetLabel kChineseSheetLabels[] = {{1, 1, &File::report}, {2, 1, &File::company}, {3, 1, &File::qeltype},
                                              {4, 1, &File::qelno},  {2, 4, &File::tester},  {3, 4, &File::mark}};
constexpr SheetLabel kChineseSheetHeadings[] = {{6, 1, &File::no},       {6, 2, &File::lamda}, {6, 3, &File::powerdbm},
                                                {6, 5, &File::timedata}, {6, 4, &File::ref},   {6, 6, &File::mark}};

constexpr LanguageTable kEnglish = {
    .language = kLanguageEnglish,
    .listIndex = 1,
    .listEntry = "ENGLISH",
    .connect = "CONNECT",
    .cut = "CUT",
    .company = "Company",
    .model = "Instrument Model",
    .serialNo = "Instrument Serial Number",
    .testOperator = "Test Operator",
    .notes = "Notes",
    .year = "YEAR",
    .month = "MONTH",
    .day = "DAY",
    .hour = "HOUR",
    .minute = "MINUTE",
    .upload = "UPLOAD DATA",
    .deleteSelect = "DELETE SELECT",
    .deleteAll = "DELETE ALL",
    .saveOrPrint = "SAVE OR PRINT",
    .timeSet = "TIME SET",
    .powerCalibrate = "POWER CALIBRATE",
    .reset = "RESET",
    .exit = "EXIT",
    .groupCom = "COM OPERATE",
    .groupUser = "FILL OUT USER'S INFORMATION",
    .groupTime = "INSTRUMENT TIME SET",
    .groupCalibrate = "CALIBRATE",
    .languageLabel = "LANGUAGE:",
    .openCom = "OPEN COM",
    .closeCom = "CLOSE COM",
    .connected = "CONNECT SUCESS!",
    .disconnected = "CUT SUCESS!",
    .deletedAll = "DEL ALL!",
    .timeSetDone = "TIME SET SUCESS!",
    .selectPort = "PLEASE SELSECT THE COM PORT!",
    .portCannotOpen = "COM CANN'T OPEN!",
    .portNotOpen = "COM IS NOT OPEN!",
    .confirmDeleteAll = "DELETE ALL DATA?",
    .confirmReset = "RESET THE INSTRUMENT?",
    .confirmCalibrate = "A you sure?",
    .noData = "NO DATA!",
    .cannotCreateApplication = "CANN'T CREAT Excel APPLATION!",
    .columns = kEnglishColumns,
    .columnWidths = kEnglishWidths,
    .sheetLabels = {},
    .sheetHeadings = {},
    .resetCommand = CMD_RESET,
};

// Chinese is the language file's: every text but the minute's label is read from it.
constexpr LanguageTable kChinese = {
    .language = kLanguageChinese,
    .listIndex = 0,
    .listEntry = "中文",
    .connect = &File::connect,
    .cut = &File::cut,
    .company = &File::company,
    .model = &File::qeltype,
    .serialNo = &File::qelno,
    .testOperator = &File::tester,
    .notes = &File::mark,
    .year = &File::year,
    .month = &File::month,
    .day = &File::data,
    .hour = &File::hour,
    .minute = "分",
    .upload = &File::readfile,
    .deleteSelect = &File::save,
    .deleteAll = &File::dellall,
    .saveOrPrint = &File::save,
    .timeSet = &File::settime,
    .powerCalibrate = &File::claqel,
    .reset = &File::rst,
    .exit = &File::exit,
    .groupCom = &File::cominfo,
    .groupUser = &File::inputinfo,
    .groupTime = &File::settime,
    .groupCalibrate = &File::claqel,
    .languageLabel = &File::sellange,
    .openCom = &File::opencom,
    .closeCom = &File::closecom,
    .connected = &File::conok,
    .disconnected = &File::cutok,
    .deletedAll = &File::dellallok,
    .timeSetDone = &File::settimeok,
    .selectPort = &File::selcomno,
    .portCannotOpen = &File::contopen,
    .portNotOpen = &File::comnotopen,
    .confirmDeleteAll = &File::notarizedel,
    .confirmReset = &File::rst,
    .confirmCalibrate = &File::notarizecal,
    .noData = &File::norecord,
    .cannotCreateApplication = &File::contcreat,
    .columns = kChineseColumns,
    .columnWidths = kChineseWidths,
    .sheetLabels = kChineseSheetLabels,
    .sheetHeadings = kChineseSheetHeadings,
    .resetCommand = CMD_RESET_CHINESE,
};

// In Italian, "all deleted" is the language file's text, the calibration question is the English
// one, and the two port failures say the same.
constexpr LanguageTable kItalian = {
    .language = kLanguageItalian,
    .listIndex = 2,
    .listEntry = "ITALIANO",
    .connect = "CONNESSIONE",
    .cut = "INTERROMPI",
    .company = "AZIENDA",
    .model = "MODELLO",
    .serialNo = "SERIALE",
    .testOperator = "OPERATORE",
    .notes = "NOTE",
    .year = "ANNO",
    .month = "MESE",
    .day = "GIORNO",
    .hour = "ORE",
    .minute = "MINUTI",
    .upload = "ACQUISISCI DATI",
    .deleteSelect = "CANCELLA SELEZIONE",
    .deleteAll = "CANCELLA TUTTO",
    .saveOrPrint = "SALVA O STAMPA",
    .timeSet = "IMPOSTA DATA/ORA",
    .powerCalibrate = "CALIBRAZIONE POTENZA",
    .reset = "AZZERAMENTO",
    .exit = "ESCI",
    .groupCom = "COMUNICAZIONE",
    .groupUser = "INSERISCI INFORMAZIONI UTENTE",
    .groupTime = "IMPOSTAZIONE STRUMENTO",
    .groupCalibrate = "CALIBRAZIONE",
    .languageLabel = "LINGUA:",
    .openCom = "APRI COMUNICAZIONE",
    .closeCom = "CHIUDERE COMUNICAZIONE",
    .connected = "CONNESSIONE  RIUSCITA!",
    .disconnected = "INTERRUZIONE RIUSCITA!",
    .deletedAll = &File::dellallok,
    .timeSetDone = "IMPOSTAZIONE RIUSCITA!",
    .selectPort = "SELEZIONARE NUMERO DI PORTA!",
    .portCannotOpen = "PORTA SERIALE NON APERTA!",
    .portNotOpen = "PORTA SERIALE NON APERTA!",
    .confirmDeleteAll = "CANCELLA DATI?",
    .confirmReset = "AZZERA STRUMENTO?",
    .confirmCalibrate = "A you sure?",
    .noData = "NESSUN DATO!",
    .cannotCreateApplication = "APPLICAZIONE EXCEL NON PUO ESSERE CREATO!",
    .columns = kItalianColumns,
    .columnWidths = kItalianWidths,
    .sheetLabels = {},
    .sheetHeadings = {},
    .resetCommand = CMD_RESET,
};

// By language byte.
constexpr const LanguageTable* kLanguages[kLanguageCount] = {&kEnglish, &kChinese, &kItalian};
static_assert(kLanguages[kLanguageEnglish]->language == kLanguageEnglish &&
              kLanguages[kLanguageChinese]->language == kLanguageChinese &&
              kLanguages[kLanguageItalian]->language == kLanguageItalian);

}  // namespace

const LanguageTable* LanguageOfByte(signed char language)
{
    return language >= 0 && language < kLanguageCount ? kLanguages[language] : nullptr;
}

const LanguageTable* LanguageAtListIndex(int index)
{
    for (const LanguageTable* table : kLanguages) {
        if (table->listIndex == index) return table;
    }
    return nullptr;
}

const char* LanguageTextSet::Key(std::size_t i) { return i < kCount ? kKeys[i].key : ""; }

std::string& LanguageTextSet::At(std::size_t i) { return this->*kKeys[i].member; }
