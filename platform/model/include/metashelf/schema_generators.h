// Generators of schema texts: from a single-file XML Schema (XSD), from
// sample records (the union of the paths seen, their repetition and the
// types of the values seen), and a loaded schema grown by the paths of
// sample records. The command-line tool exposes them.
#ifndef METASHELF_SCHEMA_GENERATORS_H_
#define METASHELF_SCHEMA_GENERATORS_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "metashelf/export.h"

class CSchema;

struct METASHELF_API SchemaGeneratorOptions {
  // The name written on the schema text.
  std::string name;
  // Preferred prefixes (prefix, namespace URI) for the paths of the text;
  // namespaces not listed take the prefix the input uses, or ns1, ns2...
  std::vector<std::pair<std::string, std::string>> namespaces;
  // Search aliases by node path ("/metadata/idinfo/citation/citeinfo/title",
  // "title").
  std::vector<std::pair<std::string, std::string>> aliases;
  // Data types forced by node path or by qualified element name
  // ("gco:Decimal", "decimal"; attributes as "@codeListValue"); a path wins
  // over a name.
  std::vector<std::pair<std::string, std::string>> types;
  // XSD only: the global element to start from; empty takes the first global
  // element that no other element refers to.
  std::string rootElement;
  // Samples only: give the aliases title, abstract, keyword, westbc,
  // eastbc, southbc and northbc, where no alias given or kept names them
  // yet, to the nodes that common element names suggest.
  bool guessAliases = false;
};

// What a generator decided on its own.
struct METASHELF_API SchemaGeneratorReport {
  // Aliases it guessed: (node path, alias).
  std::vector<std::pair<std::string, std::string>> guessedAliases;
  // Extending: root elements of samples that are not the schema's root
  // (their samples add nothing), as "local {namespace URI}" or "local".
  std::vector<std::string> skippedRoots;
};

// Writes the schema text of the tree below the root element of `xsd`: named
// and anonymous types, element references, sequences, choices, groups,
// attributes and simple content are followed; recursion stops at an element
// already open on the path. Returns the number of nodes, or -1 with `error`
// set.
METASHELF_API std::int32_t SchemaTextFromXsd(const std::string& xsd,
                                             const SchemaGeneratorOptions& options,
                                             std::string& schemaText, std::string& error);

// Writes the schema text that covers every element and attribute of the
// sample records (any encoding LoadXml accepts), matched by namespace URI.
// Repetition: an element seen more than once under one parent repeats.
// Types: integer when every value seen is a whole number, double when every
// value is a number, date when every value is a YYYY-MM-DD date, string
// otherwise. Returns the number of nodes, or -1 with `error` set (naming
// the sample that could not be read).
METASHELF_API std::int32_t SchemaTextFromSamples(const std::vector<std::string>& records,
                                                 const SchemaGeneratorOptions& options,
                                                 std::string& schemaText, std::string& error);
// The same, telling what was guessed.
METASHELF_API std::int32_t SchemaTextFromSamples(const std::vector<std::string>& records,
                                                 const SchemaGeneratorOptions& options,
                                                 std::string& schemaText, std::string& error,
                                                 SchemaGeneratorReport& report);

// Writes the schema text of `base` (its namespaces, nodes, types,
// repetition and aliases, in its order) grown by every element and
// attribute of the samples that it does not know, typed as
// SchemaTextFromSamples types them and placed after the known children of
// their parent. A node of `base` without a type or children that holds
// values in the samples takes their type; repetition seen in the samples
// is kept. Samples whose root is not a root of `base` add nothing.
// Returns the number of nodes, or -1 with `error` set.
METASHELF_API std::int32_t SchemaTextExtending(const CSchema& base,
                                               const std::vector<std::string>& records,
                                               const SchemaGeneratorOptions& options,
                                               std::string& schemaText, std::string& error,
                                               SchemaGeneratorReport& report);

#endif  // METASHELF_SCHEMA_GENERATORS_H_
