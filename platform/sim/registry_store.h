// The simulated machine's registry: the HKEY_LOCAL_MACHINE tree in memory. Keys and
// value names are case-insensitive and case-preserving; a value is a type and its raw
// bytes (text types as UTF-16LE). Paths are relative to HKEY_LOCAL_MACHINE, their parts
// joined by '\'; the empty path is HKEY_LOCAL_MACHINE itself.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A key or value name as given, looked up among the folded names a key holds as if it
// were folded, without a folded copy being made.
struct UnfoldedName {
  std::u16string_view text;
};

// Where `folded` stands against `name` once folded: negative, zero or positive.
int compareFolded(const std::u16string& folded, std::u16string_view name);

// The order of folded names, which places an UnfoldedName among them too.
struct FoldedNameLess {
  using is_transparent = void;
  bool operator()(const std::u16string& a, const std::u16string& b) const { return a < b; }
  bool operator()(const std::u16string& folded, const UnfoldedName& name) const {
    return compareFolded(folded, name.text) < 0;
  }
  bool operator()(const UnfoldedName& name, const std::u16string& folded) const {
    return compareFolded(folded, name.text) > 0;
  }
};

struct RegValue {
  std::u16string name;  // empty: the key's default value
  uint32_t type = 0;
  std::string data;
};

struct RegNode {
  std::u16string name;
  std::map<std::u16string, std::unique_ptr<RegNode>, FoldedNameLess> subkeys;  // by folded name
  std::map<std::u16string, RegValue, FoldedNameLess> values;                   // by folded name
};

// Splits a path into its key names. A trailing '\' is allowed; an empty part elsewhere
// (a leading '\' or "\\") makes the path invalid and the result false.
bool splitKeyPath(const std::u16string& path, std::vector<std::u16string>* parts);
// The number of key names in `path`, or false for an invalid path, as splitKeyPath says.
bool keyPathDepth(std::u16string_view path, size_t* depth);

// `base` and `sub` joined by '\' (either may be empty).
std::u16string joinKeyPath(std::u16string_view base, std::u16string_view sub);

class Registry {
 public:
  Registry();

  const RegNode& root() const { return root_; }

  // The key at `path`, or null when it (or the path) does not exist.
  RegNode* findKey(std::u16string_view path);
  const RegNode* findKey(std::u16string_view path) const;

  // The key at `path`, created with every missing parent; null for an invalid path.
  RegNode* addKey(std::u16string_view path);

  // Removes the key and everything beneath it; false when there was none. The root
  // cannot be removed: deleting the empty path empties it.
  bool deleteKey(std::u16string_view path);

  static const RegValue* findValue(const RegNode& key, std::u16string_view name);
  const RegValue* findValue(std::u16string_view path, std::u16string_view name) const;

  // Stores the value; setting the type and data it already has changes nothing.
  void setValue(RegNode* key, std::u16string_view name, uint32_t type, std::string_view data);
  // False when the value did not exist.
  bool removeValue(RegNode* key, std::u16string_view name);

  // Whether anything was created, changed or deleted since the last clearChanged.
  bool changed() const { return changed_; }
  void clearChanged() { changed_ = false; }

 private:
  void markChanged() { changed_ = true; }

  RegNode root_;
  bool changed_ = false;
};

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL, or false when the
// value is missing or of another type.
bool storedText(const Registry& registry, std::u16string_view path, std::u16string_view name,
                std::u16string* text);
// A REG_DWORD value of 4 bytes, or false.
bool storedDword(const Registry& registry, std::u16string_view path, std::u16string_view name,
                 uint32_t* value);
// The strings of a REG_MULTI_SZ (or REG_SZ) value, empty strings dropped.
std::vector<std::u16string> storedMultiText(const Registry& registry, std::u16string_view path,
                                            std::u16string_view name);
