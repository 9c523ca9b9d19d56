// The blocks of the register map by name, read as named values with their units: what rq55ctl
// prints and the commissioning report lists.
#pragma once

#include <string>
#include <vector>

#include "device/named_values.h"
#include "device/register_map.h"

// network, energy, maxmin, demand, inout, analog1..analog4, config, status.
bool IsBlockName(const std::string& name);

// The tables the block's values come from, in the order it gives them (status: the relays, the
// configuration, the identity and the analog outputs); empty for a name that is no block.
std::vector<const BlockInfo*> ValueTablesOf(const std::string& block);

// One read of the block (status: several reads) from the analyser at link.address. False with
// the failing read and its reason in `why`.
bool ReadNamedBlock(const std::string& block, const LinkTarget& link, std::vector<NamedValue>& values,
                    std::string& why);
