// Which string-table entries a language file can replace, and their keys.
#include <iterator>

#include "app/lang/language.h"

namespace {

struct StringKey {
  UINT id;
  const char* key;
};

const StringKey kStringKeys[] = {
    {3, "IDS_NAME"},           {4, "IDS_PROPERTIES"},     {5, "IDS_TYPE"},
    {6, "IDS_SIZE"},           {7, "IDS_DATE"},           {8, "IDS_BYTES"},
    {9, "IDS_KB"},             {10, "IDS_MB"},            {11, "IDS_GB"},
    {12, "IDS_ACTION"},        {14, "IDS_VIEW"},          {15, "IDS_CANCEL"},
    {104, "IDS_OK"},           {18, "IDS_FILENAME"},      {19, "IDS_FILELOCATION"},
    {20, "IDS_FILEDATE"},      {21, "IDS_FORMATNAME"},    {22, "IDS_IMAGESIZE"},
    {23, "IDS_DPI"},           {24, "IDS_BITS"},          {25, "IDS_COMMENT"},
    {26, "IDS_FILESIZE"},      {27, "IDS_SELECT"},        {28, "IDS_BLACK_WHITE"},
    {29, "IDS_16COLORS"},      {30, "IDS_256COLORS"},     {31, "IDS_24BITS"},
    {32, "IDS_EXIST"},         {33, "IDS_PROBLEM_SAVING"}, {34, "IDS_TREEROOT"},
    {35, "IDS_OPTGENERAL"},    {36, "IDS_OPTTHUMBNAIL"},  {37, "IDS_OPTSLIDESHOW"},
    {38, "IDS_NONE"},          {39, "IDS_AUTOLEFT"},      {40, "IDS_AUTORIGHT"},
    {41, "IDS_LEFT"},          {42, "IDS_RIGHT"},         {43, "IDS_OPTASSOCIATIONS"},
    {44, "IDS_REBOOT"},
};
static_assert(std::size(kStringKeys) == 40);

}  // namespace

const char* StringKeyName(UINT id) {
  for (const StringKey& k : kStringKeys)
    if (k.id == id) return k.key;
  return nullptr;
}
