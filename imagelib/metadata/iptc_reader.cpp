// The IPTC reader: finds the IPTC-NAA resource (id 0x0404) among the
// Photoshop resources of a META_IPTC block, collects the record-2 datasets
// and emits them in dataset-number order.
#include "imagelib/metadata/iptc_reader.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "imagelib/metadata/exif_tables.h"

namespace {

const uint8_t kPhotoshopSignature[14] = {'P', 'h', 'o', 't', 'o', 's', 'h',
                                         'o', 'p', ' ', '3', '.', '0', 0};

struct DatasetName {
  int dataset;
  int textNumber;
};
const DatasetName kNames[] = {
    {80, 222},  {85, 223},  {110, 224}, {115, 225}, {122, 226}, {120, 227}, {105, 228},
    {40, 229},  {5, 230},   {55, 231},  {30, 232},  {90, 233},  {95, 234},  {101, 235},
    {103, 236}, {15, 237},  {116, 238}, {7, 239},   {22, 240},  {65, 241},  {10, 242},
    {92, 243},  {100, 244}, {75, 245},  {60, 246},  {35, 247},  {27, 248},  {70, 249},
    {118, 250}, {45, 251},  {50, 252},
};

// The repeatable datasets keep every occurrence.
struct Repeatable {
  int dataset;
  int textNumber;
};
const Repeatable kRepeatables[] = {{20, 253}, {25, 254}, {27, 248}, {118, 250}};

int RepeatableIndex(int dataset) {
  for (int i = 0; i < 4; ++i)
    if (kRepeatables[i].dataset == dataset) return i;
  return -1;
}

const char* DatasetNameOf(int dataset) {
  for (const DatasetName& name : kNames)
    if (name.dataset == dataset) return ExifText(name.textNumber);
  return ExifText(TEXT_UNKNOWN_DATASET);
}

// Where the datasets of a block's IPTC-NAA resource start: the last two
// bytes of the resource's 32-bit size, read as a 16-bit length, precede
// them. False when the block holds no such resource.
bool FindIptcData(const MetadataBlock* block, uint64_t* start) {
  if (block->kind != META_IPTC || !block->data || block->size < 14 || block->size == 6)
    return false;
  const uint8_t* p = block->data;
  uint64_t size = block->size;
  if (memcmp(p, kPhotoshopSignature, 14) != 0) return false;
  for (uint64_t at = 0; at + 6 < size; ++at) {
    if (p[at] != '8' || p[at + 1] != 'B' || p[at + 2] != 'I' || p[at + 3] != 'M' ||
        p[at + 4] != 0x04 || p[at + 5] != 0x04)
      continue;
    uint64_t nameLength = p[at + 6];
    uint64_t sizeField = at + 6 + ((nameLength + 2) & ~(uint64_t)1);
    if (sizeField + 4 > size) return false;
    *start = sizeField + 2;
    return true;
  }
  return false;
}

const MetadataBlock* FindIptcBlock(const MetadataBlock* list, uint64_t* start) {
  const MetadataBlock* found = nullptr;
  for (const MetadataBlock* block = list; block; block = block->next) {
    uint64_t at;
    if (FindIptcData(block, &at)) {
      found = block;
      *start = at;
    }
  }
  return found;
}

struct CollectedRecords {
  std::vector<std::string> values = std::vector<std::string>(256);
  std::vector<bool> present = std::vector<bool>(256, false);
  std::vector<std::string> lists[4];
};

void Collect(const uint8_t* data, uint64_t available, CollectedRecords* records) {
  if (available < 2) return;
  uint64_t length = ((uint64_t)data[0] << 8) | data[1];
  uint64_t position = 2;
  while (position < 256 && position + 2 < available &&
         !(data[position] == 0x1C && data[position + 1] == 0x02))
    ++position;
  if (length > position + available) {
    if (position > available) return;
    length = available - position;
  }
  if (position >= length) return;
  while (position < length) {
    if (position + 5 > available) return;
    uint64_t size = ((uint64_t)data[position + 3] << 8) | data[position + 4];
    if (data[position] == 0x1C && data[position + 1] == 0x02) {
      if (position + 5 + size > available) return;
      int dataset = data[position + 2];
      std::string value((const char*)data + position + 5, (size_t)size);
      value = value.c_str();  // a zero-terminated copy ends at the first zero
      int list = RepeatableIndex(dataset);
      if (list >= 0) {
        records->lists[list].push_back(std::move(value));
      } else {
        records->values[dataset] = std::move(value);
        records->present[dataset] = true;
      }
    }
    position += 5 + size;
  }
}

}  // namespace

bool HasIptc(const MetadataBlock* list) {
  uint64_t start;
  return FindIptcBlock(list, &start) != nullptr;
}

void ReadIptc(const MetadataBlock* list, IptcRowCallback callback, void* context) {
  uint64_t start = 0;
  const MetadataBlock* block = FindIptcBlock(list, &start);
  if (!block || !callback) return;
  // Nothing throws out of the reader: running out of memory while collecting
  // ends the collection, while joining a list skips that row.
  CollectedRecords records;
  try {
    Collect(block->data + start, block->size - start, &records);
  } catch (const std::bad_alloc&) {
  }
  for (int dataset = 0; dataset < 256; ++dataset) {
    int list = RepeatableIndex(dataset);
    if (list >= 0) {
      const std::vector<std::string>& entries = records.lists[list];
      if (entries.empty()) continue;
      std::string joined;
      try {
        for (size_t i = 0; i < entries.size(); ++i) {
          if (i) joined += ',';
          joined += entries[i];
        }
      } catch (const std::bad_alloc&) {
        continue;
      }
      callback(context, dataset, ExifText(kRepeatables[list].textNumber), joined.c_str());
    } else if (records.present[dataset]) {
      callback(context, dataset, DatasetNameOf(dataset), records.values[dataset].c_str());
    }
  }
}
