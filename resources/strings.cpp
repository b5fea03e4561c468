// The string table of the program.
#include <cstring>

#include "platform/resources.h"
#include "resources/resource_ids.h"

namespace {

const char kAbout[] = "关于 QEL(&A)...";
const char kNumberPrompt[] = "请输入一个数字。";

const platform::ResourceEntry kStrings[] = {
    {platform::ResType::String, IDS_ABOUTBOX, nullptr, reinterpret_cast<const unsigned char*>(kAbout),
     sizeof kAbout - 1},
    {platform::ResType::String, AFX_IDP_PARSE_REAL, nullptr, reinterpret_cast<const unsigned char*>(kNumberPrompt),
     sizeof kNumberPrompt - 1},
};

}  // namespace

namespace resources {
void RegisterEmbedded();

void RegisterAll()
{
    RegisterEmbedded();
    platform::RegisterResources(kStrings, sizeof kStrings / sizeof kStrings[0]);
}
}  // namespace resources
