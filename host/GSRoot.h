#pragma once
// The host runtime in one include: types, exceptions, texts, arrays, identifiers, references.

#include "GSArray.h"
#include "GSException.h"
#include "GSGuid.h"
#include "GSRef.h"
#include "GSTypes.h"
#include "GSUniString.h"
