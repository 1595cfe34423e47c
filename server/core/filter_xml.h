// A constraint from filter XML (an ogc:Filter element and what it holds):
// And/Or/Not, the PropertyIs... comparisons, PropertyIsLike with the
// client's wildcards, PropertyIsBetween, PropertyIsNull and BBOX over a GML
// envelope. Elements are matched by local name.
#ifndef METASHELF_SERVER_CORE_FILTER_XML_H_
#define METASHELF_SERVER_CORE_FILTER_XML_H_

#include <pugixml.hpp>

#include "core/filter.h"

namespace metashelf::server {

// `filter` is the Filter element. False with `error` set when refused.
bool ParseFilterXml(const pugi::xml_node& filter, Filter* out, FilterError* error);

// The local part of an element or attribute name ("ogc:Filter" -> "Filter").
const char* LocalName(const char* name);

// The first child element with local name `local`, or an empty node.
pugi::xml_node ChildByLocalName(const pugi::xml_node& parent, const char* local);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_FILTER_XML_H_
