// Every offset, size and magic number of the Jet 4 (.mdb) file format. Nothing else in
// jet/ spells a raw number of the format: code refers to the names below.
//
// Integers are little-endian everywhere except inside index entries (big-endian).
// A row pointer is 4 bytes: row number (1 byte) then page number (3 bytes), i.e. as a
// little-endian uint32 it reads `page << 8 | row`.
//
// Page 0, database header (bytes 0x18..0x97 are XORed with kHeaderMask)
//   off    size  meaning
//   0x00   4     00 01 00 00
//   0x04   16    "Standard Jet DB\0" ("Standard ACE DB\0" in Access 2007+ files)
//   0x14   4     version: 0 Jet 3 (Access 97), 1 Jet 4, >= 2 ACE
//   0x18   24    fixed pointers, copied as found
//   0x3C   2     code page (1252)
//   0x3E   4     encryption key, 0 = none
//   0x42   40    password (UTF-16) XOR the creation day as int32, repeated
//   0x6A   2     unknown, copied
//   0x6E   4     sort order
//   0x72   8     creation time, Access date double
//   0x98   8     trailer, outside the masked region
//
// Every page but page 0: byte 0 page type, byte 1 = 0x01.
//
// Data page (type 0x01)
//   off    size  meaning
//   0      1     0x01
//   1      1     0x01
//   2      2     free space
//   4      4     owner: tdef page, "LVAL" on long-value pages, 0 on usage-map pages
//   8      4     junk
//   12     2     row count n
//   14     2n    row offsets; bits 0-12 offset, 0x4000 overflow (row = row pointer),
//                0x8000 deleted. Row i ends where row i-1 starts (row 0 ends at 4096).
//
// Table definition (type 0x02), a byte string spread over a chain of pages: the first
// page is used whole, each continuation adds its bytes 8..4095.
//   off    size  meaning
//   0      2     02 01
//   2      2     free space
//   4      4     next tdef page (0 = last)
//   8      4     tdef length
//   16     4     row count
//   20     4     last autonumber
//   40     1     table type: 0x4E user, 0x53 system
//   41     2     max column count (deleted columns included)
//   43     2     variable column slot count
//   45     2     live column count
//   47     4     logical index count
//   51     4     real index count R
//   55     4     row pointer to the owned-pages usage map
//   59     4     row pointer to the free-space usage map
//   63     12R   per real index: junk, distinct keys, 0
//   then 25-byte column descriptors, column names (uint16 byte length + UTF-16LE),
//   52-byte real indexes, 28-byte logical indexes, logical index names,
//   the long-value list (10 bytes per memo/OLE column), FF FF.
//
// Column descriptor (25 bytes)
//   off    size  meaning
//   0      1     type
//   5      2     column number = null-mask bit
//   7      2     variable slot
//   11     1/2   numeric: precision, scale (text: LCID)
//   15     1     flags: 0x01 fixed, 0x02 updatable, 0x04 autonumber, 0x40 GUID auto,
//                0x80 hyperlink
//   16     1     0x01 = Unicode compression allowed
//   21     2     offset in the fixed area
//   23     2     length in bytes
//
// Row
//   uint16 num_cols | fixed area | variable data | uint16 eod | uint16 slot[nv-1]..slot[0]
//   | uint16 nv | null mask (ceil(num_cols/8) bytes, bit c = column c, 1 = not null)
//   Without variable slots in the tdef: num_cols | fixed area | null mask.
//
// Long value header (memo/OLE) in the row, 12 bytes
//   off    size  meaning
//   0      4     bits 0-29 length; 0x80000000 inline, 0x40000000 one LVAL row, 0 chain
//   4      4     row pointer to the first LVAL row
//   8      4     junk
//   12     ...   data (inline only)
//   A chain piece is: row pointer to the next piece (0 = last) + data.
//
// Usage map (a row): byte 0 type. Inline (0): uint32 start page + bitmap, bit k = page
// start + k. Reference (1): uint32 pages of type-0x05 bitmap pages, pointer k covering
// pages k*32736 .. k*32736+32735; a bitmap page is 05 01 00 00 + 4092 bitmap bytes.
// The global page map is the usage map in row 0 of page 1; there a set bit is a free
// page (pages past the end of the file included).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace jet::fmt {

inline constexpr std::size_t kPageSize = 4096;
// Access's own limit: files of at most 2 GB, i.e. 524,288 pages.
inline constexpr std::uint32_t kMaxPages = 524288;

// Page types (byte 0).
inline constexpr std::uint8_t kPageHeader = 0x00;
inline constexpr std::uint8_t kPageData = 0x01;
inline constexpr std::uint8_t kPageTableDef = 0x02;
inline constexpr std::uint8_t kPageIndexNode = 0x03;
inline constexpr std::uint8_t kPageIndexLeaf = 0x04;
inline constexpr std::uint8_t kPageUsageBitmap = 0x05;
inline constexpr std::uint8_t kPageMarker = 0x01;  // byte 1 of every page but page 0

// ---- Page 0 -----------------------------------------------------------------------
inline constexpr std::size_t kHeaderMagicOffset = 0x00;
inline constexpr std::array<std::uint8_t, 4> kHeaderMagic = {0x00, 0x01, 0x00, 0x00};
inline constexpr std::size_t kHeaderFormatIdOffset = 0x04;
inline constexpr std::size_t kHeaderFormatIdSize = 16;
inline constexpr char kJetFormatId[] = "Standard Jet DB";  // + terminating zero byte
inline constexpr char kAceFormatId[] = "Standard ACE DB";
inline constexpr std::size_t kHeaderVersionOffset = 0x14;
inline constexpr std::uint32_t kVersionJet3 = 0;
inline constexpr std::uint32_t kVersionJet4 = 1;  // >= 2: ACE (Access 2007+)

inline constexpr std::size_t kHeaderMaskedOffset = 0x18;
inline constexpr std::size_t kHeaderMaskedSize = 128;
inline constexpr std::size_t kHeaderCodePageOffset = 0x3C;
inline constexpr std::size_t kHeaderEncryptionKeyOffset = 0x3E;
inline constexpr std::size_t kHeaderPasswordOffset = 0x42;
inline constexpr std::size_t kHeaderPasswordSize = 40;
inline constexpr std::size_t kHeaderSortOrderOffset = 0x6E;
inline constexpr std::size_t kHeaderCreationDateOffset = 0x72;

// The fixed keystream XORed over the masked region of page 0 (encode = decode).
inline constexpr std::array<std::uint8_t, kHeaderMaskedSize> kHeaderMask = {
    0xB5, 0x6F, 0x03, 0x62, 0x61, 0x08, 0xC2, 0x55, 0xEB, 0xA9, 0x67, 0x72, 0x43, 0x3F, 0x00, 0x9C,
    0x7A, 0x9F, 0x90, 0xFF, 0x80, 0x9A, 0x31, 0xC5, 0x79, 0xBA, 0xED, 0x30, 0xBC, 0xDF, 0xCC, 0x9D,
    0x63, 0xD9, 0xE4, 0xC3, 0x7B, 0x42, 0xFB, 0x8A, 0xBC, 0x4E, 0x86, 0xFB, 0xEC, 0x37, 0x5D, 0x44,
    0x9C, 0xFA, 0xC6, 0x5E, 0x28, 0xE6, 0x13, 0xB6, 0x8A, 0x60, 0x54, 0x94, 0x7B, 0x36, 0xF5, 0x72,
    0xDF, 0xB1, 0x77, 0xF4, 0x13, 0x43, 0xCF, 0xAF, 0xB1, 0x33, 0x34, 0x61, 0x79, 0x5B, 0x92, 0xB5,
    0x7C, 0x2A, 0x05, 0xF1, 0x7C, 0x99, 0x01, 0x1B, 0x98, 0xFD, 0x12, 0x4F, 0x4A, 0x94, 0x6C, 0x3E,
    0x60, 0x26, 0x5F, 0x95, 0xF8, 0xD0, 0x89, 0x24, 0x85, 0x67, 0xC6, 0x1F, 0x27, 0x44, 0xD2, 0xEE,
    0xCF, 0x65, 0xED, 0xFF, 0x07, 0xC7, 0x46, 0xA1, 0x78, 0x16, 0x0C, 0xED, 0xE9, 0x2D, 0x62, 0xD4};

// ---- Data pages -------------------------------------------------------------------
inline constexpr std::size_t kDataFreeSpaceOffset = 2;
inline constexpr std::size_t kDataOwnerOffset = 4;
inline constexpr std::size_t kDataRowCountOffset = 12;
inline constexpr std::size_t kDataRowTableOffset = 14;
inline constexpr std::size_t kDataHeaderSize = 14;
inline constexpr std::uint16_t kRowOffsetMask = 0x1FFF;
inline constexpr std::uint16_t kRowOverflowFlag = 0x4000;
inline constexpr std::uint16_t kRowDeletedFlag = 0x8000;
inline constexpr std::size_t kMaxRowsPerPage = 255;
inline constexpr std::array<std::uint8_t, 4> kLvalOwner = {'L', 'V', 'A', 'L'};
inline constexpr std::uint32_t kGlobalMapPage = 1;  // row 0: global usage map

// ---- Table definition -------------------------------------------------------------
inline constexpr std::size_t kTdefFreeSpaceOffset = 2;
inline constexpr std::size_t kTdefNextPageOffset = 4;
inline constexpr std::size_t kTdefPageHeaderSize = 8;
inline constexpr std::size_t kTdefLengthOffset = 8;
inline constexpr std::size_t kTdefRowCountOffset = 16;
inline constexpr std::size_t kTdefAutonumberOffset = 20;
inline constexpr std::size_t kTdefTableTypeOffset = 40;
inline constexpr std::size_t kTdefMaxColumnsOffset = 41;
inline constexpr std::size_t kTdefVarColumnsOffset = 43;
inline constexpr std::size_t kTdefColumnCountOffset = 45;
inline constexpr std::size_t kTdefLogicalIndexCountOffset = 47;
inline constexpr std::size_t kTdefRealIndexCountOffset = 51;
inline constexpr std::size_t kTdefOwnedMapOffset = 55;
inline constexpr std::size_t kTdefFreeMapOffset = 59;
inline constexpr std::size_t kTdefHeaderSize = 63;
inline constexpr std::size_t kTdefRealIndexInfoSize = 12;  // per real index, after the header
inline constexpr std::uint8_t kTableTypeUser = 0x4E;
inline constexpr std::uint8_t kTableTypeSystem = 0x53;
inline constexpr std::uint32_t kTdefMagic = 1625;  // 59 06 00 00

// Column descriptor
inline constexpr std::size_t kColumnDescriptorSize = 25;
inline constexpr std::size_t kColTypeOffset = 0;
inline constexpr std::size_t kColNumberOffset = 5;
inline constexpr std::size_t kColVarSlotOffset = 7;
inline constexpr std::size_t kColIndexNumberOffset = 9;
inline constexpr std::size_t kColLcidOffset = 11;
inline constexpr std::size_t kColPrecisionOffset = 11;
inline constexpr std::size_t kColScaleOffset = 12;
inline constexpr std::size_t kColFlagsOffset = 15;
inline constexpr std::size_t kColExtraFlagsOffset = 16;
inline constexpr std::size_t kColFixedOffsetOffset = 21;
inline constexpr std::size_t kColLengthOffset = 23;
inline constexpr std::uint8_t kColFlagFixed = 0x01;
inline constexpr std::uint8_t kColFlagUpdatable = 0x02;
inline constexpr std::uint8_t kColFlagAutoLong = 0x04;
inline constexpr std::uint8_t kColFlagAutoGuid = 0x40;
inline constexpr std::uint8_t kColFlagHyperlink = 0x80;
inline constexpr std::uint8_t kColExtraCompressedUnicode = 0x01;

inline constexpr std::size_t kRealIndexSize = 52;
inline constexpr std::size_t kLogicalIndexSize = 28;
// Real index (52 bytes): magic, 10 x (uint16 column, uint8 order), usage map, root page,
// junk, flags, 5 zero bytes.
inline constexpr std::size_t kRealIndexDistinctKeysOffset = 4;  // in the 12-byte header info
inline constexpr std::size_t kRealIndexColumnsOffset = 4;
inline constexpr std::size_t kRealIndexColumnSlots = 10;
inline constexpr std::size_t kRealIndexColumnEntrySize = 3;
inline constexpr std::uint16_t kRealIndexUnusedColumn = 0xFFFF;
inline constexpr std::uint8_t kRealIndexAscending = 0x01;
inline constexpr std::size_t kRealIndexUsageMapOffset = 34;
inline constexpr std::size_t kRealIndexRootPageOffset = 38;
inline constexpr std::size_t kRealIndexFlagsOffset = 46;
inline constexpr std::uint8_t kIndexFlagUnique = 0x01;
inline constexpr std::uint8_t kIndexFlagIgnoreNulls = 0x02;
inline constexpr std::uint8_t kIndexFlagRequired = 0x08;
// Logical index (28 bytes): magic, number, real index, related table type, related
// index, related tdef page, cascade bytes, kind, 0.
inline constexpr std::size_t kLogicalIndexNumberOffset = 4;
inline constexpr std::size_t kLogicalIndexRealIndexOffset = 8;
inline constexpr std::size_t kLogicalIndexKindOffset = 23;
inline constexpr std::uint8_t kLogicalIndexPrimaryKey = 1;
inline constexpr std::uint8_t kLogicalIndexForeignKey = 2;
inline constexpr std::uint16_t kTdefEndMarker = 0xFFFF;  // closes the long-value list
inline constexpr std::size_t kLongValueListEntrySize = 10;

// Column type codes
inline constexpr std::uint8_t kTypeBoolean = 0x01;
inline constexpr std::uint8_t kTypeByte = 0x02;
inline constexpr std::uint8_t kTypeInteger = 0x03;
inline constexpr std::uint8_t kTypeLong = 0x04;
inline constexpr std::uint8_t kTypeCurrency = 0x05;
inline constexpr std::uint8_t kTypeSingle = 0x06;
inline constexpr std::uint8_t kTypeDouble = 0x07;
inline constexpr std::uint8_t kTypeDateTime = 0x08;
inline constexpr std::uint8_t kTypeBinary = 0x09;
inline constexpr std::uint8_t kTypeText = 0x0A;
inline constexpr std::uint8_t kTypeOle = 0x0B;
inline constexpr std::uint8_t kTypeMemo = 0x0C;
inline constexpr std::uint8_t kTypeGuid = 0x0F;
inline constexpr std::uint8_t kTypeNumeric = 0x10;
inline constexpr std::uint8_t kTypeComplex = 0x11;  // Access-private (MSysAccessObjects.Data)

inline constexpr std::size_t kNumericSize = 17;
inline constexpr std::uint8_t kNumericNegative = 0x80;
inline constexpr std::size_t kGuidSize = 16;

// ---- Long values ------------------------------------------------------------------
inline constexpr std::size_t kLongValueHeaderSize = 12;
inline constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFF;
inline constexpr std::uint32_t kLongValueInline = 0x80000000;
inline constexpr std::uint32_t kLongValueSingleRow = 0x40000000;
inline constexpr std::size_t kLongValueChainLinkSize = 4;
inline constexpr std::size_t kLongValuePointerOffset = 4;

// ---- Properties (MSysObjects.LvProp) -------------------------------------------
//   "MR2\0", then blocks: uint32 length (with itself), uint16 kind.
//   kind 0x80: names (uint16 byte length + UTF-16LE each).
//   kind 0x00 object / 0x01 column: uint32 header length (from offset 6), uint16 name
//   length, name; then entries: uint16 length, uint8 DDL flag, uint8 data type,
//   uint16 name index, uint16 value length, value.
inline constexpr std::array<std::uint8_t, 4> kPropertiesSignature = {'M', 'R', '2', 0};
inline constexpr std::uint16_t kPropertyBlockNames = 0x80;
inline constexpr std::uint16_t kPropertyBlockObject = 0x00;
inline constexpr std::uint16_t kPropertyBlockColumn = 0x01;
inline constexpr std::size_t kPropertyBlockHeaderSize = 6;
inline constexpr std::size_t kPropertyEntryTypeOffset = 3;
inline constexpr std::size_t kPropertyEntryNameOffset = 4;
inline constexpr std::size_t kPropertyEntryValueLengthOffset = 6;
inline constexpr std::size_t kPropertyEntryHeaderSize = 8;

// ---- Text -------------------------------------------------------------------------
inline constexpr std::uint8_t kCompressedTextMarker0 = 0xFF;
inline constexpr std::uint8_t kCompressedTextMarker1 = 0xFE;

// ---- Usage maps -------------------------------------------------------------------
inline constexpr std::uint8_t kUsageMapInline = 0x00;
inline constexpr std::uint8_t kUsageMapReference = 0x01;
inline constexpr std::size_t kUsageMapInlineStartOffset = 1;
inline constexpr std::size_t kUsageMapInlineBitmapOffset = 5;
inline constexpr std::size_t kUsageMapReferencePointersOffset = 1;
inline constexpr std::size_t kUsageBitmapPageHeaderSize = 4;
inline constexpr std::size_t kUsageBitmapPageBits = (kPageSize - kUsageBitmapPageHeaderSize) * 8;

// ---- Catalog (MSysObjects) --------------------------------------------------------
inline constexpr std::uint32_t kCatalogTdefPage = 2;
inline constexpr std::int32_t kCatalogRootId = 0x0F000000;
inline constexpr std::int32_t kCatalogTablesId = 0x0F000001;
inline constexpr std::int16_t kObjectTypeTable = 1;
inline constexpr std::uint32_t kObjectFlagSystem = 0x80000000;
inline constexpr std::uint32_t kObjectFlagSystem2 = 0x00000002;

// ---- Dates ------------------------------------------------------------------------
// Access dates count days since 1899-12-30; that day is 25569 days before 1970-01-01.
inline constexpr int kDaysFrom18991230To19700101 = 25569;

// ---- Writer constants (owned by the writing side) ---------------------------------
//
// Index page (0x03 node, 0x04 leaf)
//   off    size  meaning
//   0      1     page type
//   1      1     0x01
//   2      2     free space = 4096 - end of the entry data
//   4      4     tdef page of the indexed table
//   12     4     previous page at this level
//   16     4     next page at this level
//   20     4     tail page (nodes: right-most child)
//   24     2     shared prefix length
//   27     453   bitmap: bit k set = an entry ends k bytes after offset 480
//   480    ...   entries: key bytes + index row id (page 3 bytes BE, row)
inline constexpr std::uint32_t kRealIndexMagic = 1923;
inline constexpr std::size_t kLeafFreeSpaceOffset = 2;
inline constexpr std::size_t kLeafTdefOffset = 4;
inline constexpr std::size_t kLeafPrevOffset = 12;
inline constexpr std::size_t kLeafNextOffset = 16;
inline constexpr std::size_t kLeafTailOffset = 20;
inline constexpr std::size_t kLeafPrefixOffset = 24;
inline constexpr std::size_t kLeafBitmapOffset = 27;
inline constexpr std::size_t kLeafEntriesOffset = 480;
inline constexpr std::size_t kIndexRowIdSize = 4;

// Rows the writer produces stay within Access' record limit (memo/OLE data apart).
inline constexpr std::size_t kMaxWrittenRowSize = 4000;
// Long values up to this many bytes stay in the row.
inline constexpr std::size_t kMaxInlineLongValue = 64;
// Largest long value held by one LVAL row; longer values are chained.
inline constexpr std::size_t kMaxSingleRowLongValue = 4076;
// Data bytes per piece of a chained long value (the piece's row is 4076 bytes).
inline constexpr std::size_t kLongValueChainPieceData = 4072;
// Inline usage maps the writer creates: 69-byte rows (type + start + 64 bitmap bytes).
inline constexpr std::size_t kUsageMapRowSize = 69;

}  // namespace jet::fmt
