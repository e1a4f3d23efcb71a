#pragma once
// The add-on's resources as the build compiled them in: the string lists of resources/strings/
// (one item per line; the file's name is the list's id) and the 'DATA' files listed in
// resources/data.txt. The host installs them as the add-on's own module when it loads the add-on.

#include "HostTestApi.h"

host::ResourceSet addOnResources();
