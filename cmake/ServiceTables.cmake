# Writes the county and commune service tables (EgibUrls, GesutUrls, Bdot500Urls, MpzpUrls) as
# C++ constant data from data/county-services.csv. Run as a script:
#
#   cmake -DCSV=<county-services.csv> -DOUT=<ServiceTablesData.cpp> -P ServiceTables.cmake
#
# The CSV has the columns teryt,service,url,source. The three county tables have one row for
# every county and city with county rights (the keys below), whether or not the CSV has an
# endpoint for it; an endpoint not collected stays "". When a county has several rows for one
# service, the first one in the file wins. A 7-digit land-registry row belongs to a commune that
# runs its own service, not to its county, and has no place in the county tables: it is left out.
# The commune table has a row for every commune the CSV names, keyed by the first six digits; of
# a commune's several rows for one service (its 6- and its 7-digit code) the first one wins too.

cmake_minimum_required(VERSION 3.25)

if(NOT CSV OR NOT OUT)
  message(FATAL_ERROR "ServiceTables.cmake: CSV and OUT must be given")
endif()

# Every county and city with county rights, by voivodeship; a range a-b is every code from a to b.
set(county_ranges
  0201-0226 0261 0262 0264 0265
  0401-0419 0461-0464
  0601-0620 0661-0664
  0801-0812 0861 0862
  1001-1021 1061-1063
  1201-1219 1261-1263
  1401-1430 1432-1438 1461-1465
  1601-1611 1661
  1801-1821 1861-1864
  2001-2014 2061-2063
  2201-2216 2261-2264
  2401-2417 2461-2479
  2601-2613 2661
  2801-2819 2861 2862
  3001-3031 3061-3064
  3201-3218 3261-3263)

set(county_keys "")
foreach(range IN LISTS county_ranges)
  string(REPLACE "-" ";" ends "${range}")
  list(GET ends 0 first)
  list(GET ends -1 last)
  math(EXPR from "1${first} - 10000")
  math(EXPR to "1${last} - 10000")
  foreach(code RANGE ${from} ${to})
    string(LENGTH "${code}" digits)
    math(EXPR pad "4 - ${digits}")
    string(REPEAT "0" ${pad} zeros)
    list(APPEND county_keys "${zeros}${code}")
    set(is_county_${zeros}${code} TRUE)
  endforeach()
endforeach()
list(LENGTH county_keys county_count)
if(NOT county_count EQUAL 380)
  message(FATAL_ERROR "ServiceTables.cmake: ${county_count} county keys instead of 380")
endif()

set(county_services egib_wms egib_wfs gesut_wms gesut_wfs bdot500_wms bdot500_wfs)
set(commune_services mpzp_wms mpzp_wfs)

file(STRINGS "${CSV}" lines)
list(POP_FRONT lines header)
if(NOT header STREQUAL "teryt,service,url,source")
  message(FATAL_ERROR "ServiceTables.cmake: unexpected header in ${CSV}: ${header}")
endif()

set(commune_keys "")
set(line_number 1)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  if(line STREQUAL "")
    continue()
  endif()
  if(line MATCHES "[;\"\\\\]")
    message(FATAL_ERROR "${CSV}:${line_number}: characters that cannot stand in the tables")
  endif()
  string(REPLACE "," ";" fields "${line}")
  list(LENGTH fields field_count)
  if(NOT field_count EQUAL 4)
    message(FATAL_ERROR "${CSV}:${line_number}: expected 4 fields, found ${field_count}")
  endif()
  list(GET fields 0 teryt)
  list(GET fields 1 service)
  list(GET fields 2 url)
  if(NOT url MATCHES "^https?://[^/?#]+")
    message(FATAL_ERROR "${CSV}:${line_number}: not an http(s) address: ${url}")
  endif()
  if(NOT teryt MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${CSV}:${line_number}: not a territorial code: ${teryt}")
  endif()
  string(LENGTH "${teryt}" teryt_length)

  if(service IN_LIST county_services)
    if(teryt_length EQUAL 7)
      continue()  # a commune's own service
    endif()
    if(NOT teryt_length EQUAL 4 OR NOT is_county_${teryt})
      message(FATAL_ERROR "${CSV}:${line_number}: ${teryt} is no county code")
    endif()
    if(NOT DEFINED cell_${service}_${teryt})
      set(cell_${service}_${teryt} "${url}")
    endif()
  elseif(service IN_LIST commune_services)
    if(NOT teryt_length EQUAL 6 AND NOT teryt_length EQUAL 7)
      message(FATAL_ERROR "${CSV}:${line_number}: ${teryt} is no commune code")
    endif()
    string(SUBSTRING "${teryt}" 0 6 key)
    string(SUBSTRING "${teryt}" 0 4 county)
    if(NOT is_county_${county})
      message(FATAL_ERROR "${CSV}:${line_number}: ${teryt} lies in no known county")
    endif()
    list(APPEND commune_keys "${key}")
    if(NOT DEFINED cell_${service}_${key})
      set(cell_${service}_${key} "${url}")
    endif()
  else()
    message(FATAL_ERROR "${CSV}:${line_number}: unknown service ${service}")
  endif()
endforeach()
list(REMOVE_DUPLICATES commune_keys)
list(SORT commune_keys)

# One table: the namespace, the keys, and the two services whose cells fill its columns.
function(write_table name keys wms wfs out_var)
  list(LENGTH keys count)
  set(text "namespace ${name} {\nnamespace {\nconstexpr std::array<ServiceRow, ${count}> kRows{{\n")
  foreach(key IN LISTS keys)
    string(APPEND text "    {\"${key}\", \"${cell_${wms}_${key}}\", \"${cell_${wfs}_${key}}\"},\n")
  endforeach()
  string(APPEND text "}};\n}  // namespace\nconst std::span<const ServiceRow> TABLE{kRows};\n}  // namespace ${name}\n\n")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

write_table(EgibUrls "${county_keys}" egib_wms egib_wfs egib)
write_table(GesutUrls "${county_keys}" gesut_wms gesut_wfs gesut)
write_table(Bdot500Urls "${county_keys}" bdot500_wms bdot500_wfs bdot500)
write_table(MpzpUrls "${commune_keys}" mpzp_wms mpzp_wfs mpzp)

set(content "// Generated from data/county-services.csv by cmake/ServiceTables.cmake. Do not edit.\n\n")
string(APPEND content "#include <array>\n#include <span>\n\n#include \"geodata/ServiceTables.h\"\n\n")
string(APPEND content "${egib}${gesut}${bdot500}${mpzp}")
file(WRITE "${OUT}" "${content}")
