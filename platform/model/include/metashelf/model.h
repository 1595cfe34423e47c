// The metadata model library: schema texts and their registration
// (CSchemaRegister), loaded schemas (CSchema, CNodeInfo), records decomposed
// into documents and leaf nodes and rebuilt from them (CBaseMetaData,
// CLeafNode), and synchronisation of harvested dataset properties onto a
// record (CMetadataSync, CSynchronizer).
//
// Results are `long` (std::int32_t) as the catalog and the sets expect
// them; nothing throws. Texts are UTF-8.
#ifndef METASHELF_MODEL_H_
#define METASHELF_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "metashelf/export.h"
#include "metashelf/smart_array.h"

// Table types of schema nodes: which value table holds their values.
constexpr short kTableTypeText = 1;
constexpr short kTableTypeNumber = 2;
constexpr short kTableTypeDate = 3;

// Asks the catalog for `count` node identifiers, to be appended to `ids`.
// `context` is the pointer given to the CSchemaRegister constructor. A block
// that comes back short (a failed sequence draw) makes the parse fail.
typedef void (*GuidCallback)(int count, std::vector<std::int64_t>& ids, void* context);

class METASHELF_API CSchemaRegister {
 public:
  explicit CSchemaRegister(void* context);
  ~CSchemaRegister();
  CSchemaRegister(const CSchemaRegister&) = delete;
  CSchemaRegister& operator=(const CSchemaRegister&) = delete;

  // Validates the schema text and produces the schema document, the
  // node-information document and the XPath document, taking node GUIDs
  // from `callback` in blocks. Returns the number of nodes (>= 0), or -1 for
  // a rejected text; the three outputs are then left empty.
  std::int32_t ParseSchema(const char* text, std::string& schemaDoc, std::string& nodeInfo,
                           std::string& xpathDoc, GuidCallback callback);

  // The reason of the last rejection (empty after a success).
  const std::string& LastError() const;

 private:
  void* context_;
  std::string error_;
};

// One schema node as a lookup reports it.
class METASHELF_API CNodeInfo {
 public:
  CNodeInfo() = default;

  std::int32_t GetNodeGUID(std::int32_t& guid) const;
  // 1 text, 2 number, 3 date.
  std::int32_t GetTableType(short& tableType) const;
  // Byte length of the data type name, without a terminator.
  std::int32_t GetDataTypeSize(std::int32_t& size) const;
  // Copies at most `length` bytes of the data type name into `buffer`
  // (NUL-terminated when room is left). Returns the bytes copied.
  std::int32_t GetDataType(char* buffer, std::int32_t length) const;

  const std::string& Path() const { return path_; }
  const std::string& Name() const { return name_; }
  const std::string& DataType() const { return dataType_; }
  const std::string& Alias() const { return alias_; }
  std::int32_t ParentGUID() const { return parentGuid_; }
  bool IsAttribute() const { return isAttribute_; }
  bool IsRepeatable() const { return repeatable_; }

 private:
  friend class CSchema;
  std::int32_t guid_ = 0;
  std::int32_t parentGuid_ = 0;
  short tableType_ = 0;
  bool isAttribute_ = false;
  bool repeatable_ = false;
  std::string path_;
  std::string name_;
  std::string dataType_;
  std::string alias_;
};

// A loaded schema: node information looked up by GUID or by path in
// constant time.
class METASHELF_API CSchema {
 public:
  CSchema();
  ~CSchema();
  CSchema(const CSchema&) = delete;
  CSchema& operator=(const CSchema&) = delete;

  std::int32_t SetSchemaID(std::int32_t id);
  std::int32_t GetSchemaID(std::int32_t& id) const;
  // The texts are copied. SetNodeStructList takes the node-information
  // document and builds the lookups; it returns 1, or 0 for a document it
  // cannot read (the lookups are then empty).
  std::int32_t SetNodeStructList(const char* nodeInfo);
  std::int32_t SetSchemaDoc(const char* schemaDoc);
  std::int32_t SetN2EMAPList(const char* map);

  // Fill `info` for the node; return 1 when found, 0 otherwise (`info`
  // untouched). A null `info` returns 0.
  std::int32_t GetNodeInfoByGUID(const std::int32_t& guid, CNodeInfo* info) const;
  // Only the node's table type, without copying its texts (taking a record
  // apart asks this once per leaf): 1 when found, 0 otherwise (`*tableType`
  // untouched). A null `tableType` returns 0.
  std::int32_t GetTableTypeByGUID(std::int32_t guid, short* tableType) const;
  std::int32_t GetNodeInfoByPath(const char* path, CNodeInfo* info) const;
  // Resolves a short search alias ("title", "westbc"...) to a node. 1/0.
  std::int32_t GetNodeInfoByAlias(const char* alias, CNodeInfo* info) const;

  // Every node, in document order.
  std::int32_t GetNodeCount() const;
  std::int32_t GetNodeInfoAt(std::int32_t index, CNodeInfo* info) const;

  const std::string& SchemaDoc() const;
  const std::string& N2EMAP() const;

  struct Impl;
  const Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};

// One leaf value of a record: node GUID, occurrence position, tag and value.
class METASHELF_API CLeafNode {
 public:
  CLeafNode() = default;

  std::int32_t GetNodeGUID(std::int32_t& guid) const;
  std::int32_t GetNodePosition(std::int32_t& position) const;
  // Byte length of the value, without a terminator.
  std::int32_t GetNodeValueSize(std::int32_t& size) const;
  // Copies at most `length` bytes of the value into `buffer`. Returns the
  // bytes copied.
  std::int32_t GetNodeValue(char* buffer, std::int32_t length) const;
  std::int32_t GetNodeTag(std::string& tag) const;

  std::int32_t SetNodeGUID(const std::int32_t& guid);
  std::int32_t SetNodePosition(const std::int32_t& position);
  std::int32_t SetNodeTag(const char* tag);
  std::int32_t SetNodeValue(const char* value);
  // The same from a byte range (no terminator needed).
  std::int32_t SetNodeTag(const char* tag, std::size_t length);
  std::int32_t SetNodeValue(const char* value, std::size_t length);

  const std::string& Value() const { return value_; }
  const std::string& Tag() const { return tag_; }

 private:
  std::int32_t guid_ = 0;
  std::int32_t position_ = 0;
  std::string tag_;
  std::string value_;
};

// One finding of record validation: what cannot be stored as a leaf, and why.
struct METASHELF_API ValidationIssue {
  std::string path;    // node path of the value
  std::string value;   // the value (cut for display)
  std::string reason;  // why it stays inline / is refused
};

// How a loaded record fits its schema: its root element, and the values
// under paths the schema cannot place (they stay in the record and come
// back whole, but no search reaches them).
struct METASHELF_API RecordFit {
  std::string root;       // the root element's name as the record writes it
  std::string rootUri;    // its namespace URI, empty for none
  bool rootKnown = true;  // the schema has this root element
  std::int32_t unplacedValues = 0;
  // Path (with the schema's prefixes where it knows the namespace) and the
  // number of values under it, in the order first met.
  std::vector<std::pair<std::string, std::int32_t>> unplaced;
};

// A metadata record on a schema: decomposed into the structure document,
// the prolog, the value label and the leaf nodes, and rebuilt from them.
class METASHELF_API CBaseMetaData {
 public:
  explicit CBaseMetaData(CSchema* schema);
  ~CBaseMetaData();
  CBaseMetaData(const CBaseMetaData&) = delete;
  CBaseMetaData& operator=(const CBaseMetaData&) = delete;

  // Sizes are byte counts without a terminator (the node count for the leaf
  // list). A get copies at most that many bytes and returns the bytes copied.
  std::int32_t GetStructInfoSize(std::int32_t& size) const;
  std::int32_t GetPrologInfoSize(std::int32_t& size) const;
  std::int32_t GetValueLabelSize(std::int32_t& size) const;
  std::int32_t GetLeafNodeListSize(std::int32_t& size) const;
  std::int32_t GetStructInfo(char* buffer, std::int32_t length) const;
  std::int32_t GetPrologInfo(char* buffer, std::int32_t length) const;
  std::int32_t GetValueLabel(char* buffer, std::int32_t length) const;
  // Fills the caller's first `count` nodes of `list`, in list order.
  std::int32_t GetLeafNodeList(CSmartArray<CLeafNode*>& list, std::int32_t count) const;

  // The texts and nodes are copied. SetStructInfo starts a new record: it
  // also clears the value label, so it comes first (then the prolog, the
  // value label if there is one, the leaf nodes, UpdateSetting).
  std::int32_t SetStructInfo(const char* text);
  std::int32_t SetPrologInfo(const char* text);
  std::int32_t SetValueLabel(const char* text);
  std::int32_t SetLeafNodeList(CSmartArray<CLeafNode*>& list);
  std::int32_t SetMetaID(std::int64_t id);
  std::int64_t GetMetaID() const;
  // Makes the record consistent after its parts were set (a rebuild of the
  // XML becomes possible). 1 on success, 0 when the parts do not fit.
  std::int32_t UpdateSetting();

  // Host conveniences. LoadXml decomposes an XML record (UTF-8, UTF-16 or
  // ISO-8859-1, with or without a byte-order mark); 1 on success, 0 with
  // LastError() set otherwise. ToXml rebuilds the record; 1/0.
  std::int32_t LoadXml(const char* data, std::size_t length);
  std::int32_t LoadXmlFile(const char* path);
  std::int32_t ToXml(std::string& xml) const;
  // The values that cannot be stored as leaf nodes, and why. Empty when
  // every value of a known node can be.
  std::vector<ValidationIssue> Validate() const;
  // The fit of the last record LoadXml read; a record built from its parts
  // reports a known root and nothing unplaced.
  RecordFit Fit() const;
  const std::string& LastError() const;

  CSchema* Schema() const { return schema_; }

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  CSchema* schema_;
  std::unique_ptr<Impl> impl_;
};

// Properties harvested from a dataset, to be synchronised onto a record.
class METASHELF_API CMetadataSync {
 public:
  CMetadataSync();
  ~CMetadataSync();
  CMetadataSync(const CMetadataSync&) = delete;
  CMetadataSync& operator=(const CMetadataSync&) = delete;

  // Known names: title, abstract, purpose, westbc, eastbc, southbc, northbc,
  // refsys, begdate, enddate, pubdate, keyword (repeatable), onlink,
  // origin, format. Setting a name again replaces it (keyword appends).
  void SetProperty(const std::string& name, const std::string& value);
  void AddKeyword(const std::string& keyword);
  bool GetProperty(const std::string& name, std::string& value) const;
  const std::vector<std::string>& Keywords() const;
  // Every property that is set, in name order, keywords excluded.
  std::vector<std::pair<std::string, std::string>> Properties() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// Maps a CMetadataSync onto a record. Family 1: FGDC paths; 2: ISO 19139
// paths; 3: through the schema's node-to-element map.
class METASHELF_API CSynchronizer {
 public:
  CSynchronizer(CMetadataSync* sync, CSchema* schema, char family);
  ~CSynchronizer();
  CSynchronizer(const CSynchronizer&) = delete;
  CSynchronizer& operator=(const CSynchronizer&) = delete;

  // Fills `record` with a minimal record of the standard carrying the
  // properties. 1 on success, 0 otherwise.
  std::int32_t CreateSynchronizer(CBaseMetaData& record);
  // Fills `updated` from `stored` with the synchronised values replaced or
  // added, everything else as it was. 1/0.
  std::int32_t UpdateSynchronizer(CBaseMetaData& stored, CBaseMetaData& updated);

 private:
  CMetadataSync* sync_;
  CSchema* schema_;
  char family_;
};

#endif  // METASHELF_MODEL_H_
