#!/usr/bin/python3
"""Drives `metashelf serve` with OWSLib, an unmodified catalog client.

A fresh catalog is filled with the shared corpus (FGDC and ISO records), the
server is started on a free loopback port, and the CSW and OGC API - Records
clients of OWSLib search, page and fetch; every answer is compared with the
library's own search (`metashelf search`) and record (`metashelf get`).
Exits 77 (skipped) when OWSLib is missing, 1 on any mismatch.

usage: owslib_clients.py METASHELF DB_URI CORPUS WORKDIR
"""
import json
import warnings
import os
import signal
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request

try:
    from owslib import fes
    from owslib.csw import CatalogueServiceWeb
    from owslib.ogcapi.records import Records
except ImportError:
    print("SKIPPED: python3-owslib is not installed (scripts/install-deps.sh installs it)")
    sys.exit(77)

TOOL, DB, CORPUS, WORK = sys.argv[1:5]
warnings.simplefilter("ignore")
if DB.startswith("env:"):
    DB = os.environ.get(DB[4:], "")
    if not DB:
        print("SKIPPED: %s is not set (scripts/with-postgres.sh sets it)" % sys.argv[2][4:])
        sys.exit(77)
SUFFIX = str(os.getpid())
CATALOG = "owslib" + SUFFIX
COLLECTIONS = {"fg" + SUFFIX: ("fgdc", "fgdc"), "iso" + SUFFIX: ("iso19139", "iso19139")}
FGDC, ISO = list(COLLECTIONS)
GMD = "http://www.isotc211.org/2005/gmd"
failures = []


def tool(*args, check=True):
    run = subprocess.run([TOOL, "--db", DB, "--catalog", CATALOG, "-q"] + list(args),
                         capture_output=True, text=True)
    if check and run.returncode != 0:
        raise RuntimeError("metashelf %s: %s" % (" ".join(args), run.stderr))
    return run.stdout


def expect(name, got, want):
    if got != want:
        failures.append("%s: got %r, want %r" % (name, got, want))
        print("FAIL", name)
    else:
        print("ok  ", name)


def library_ids(query):
    """Record ids the library's own search finds, over every collection."""
    ids = set()
    for c in COLLECTIONS:
        ids |= {r["id"] for r in json.loads(tool("search", c, query, "--json"))["records"]}
    return ids


def text_aliases(collection):
    aliases = []
    for line in tool("schema", "show", COLLECTIONS[collection][0]).splitlines()[2:]:
        cols = line.split("\t")
        if len(cols) == 5 and cols[2] == "text" and cols[3] != "-":
            aliases.append(cols[3])
    return aliases


_indexed = []


def indexed():
    """Whether the library searches its own free-text and box indexes."""
    if not _indexed:
        _indexed.append(subprocess.run(
            [TOOL, "--db", DB, "--catalog", CATALOG, "-q", "search", FGDC, "text ~ x"],
            capture_output=True).returncode == 0)
    return _indexed[0]


def any_text_ids(word):
    if indexed():
        return library_ids("text ~ %s" % word)
    ids = set()
    for c in COLLECTIONS:
        q = " or ".join("%s like %s" % (a, word) for a in text_aliases(c))
        ids |= {r["id"] for r in json.loads(tool("search", c, q, "--json"))["records"]}
    return ids


def box_query(w, s, e, n):
    """The library's own query for records whose box meets w,s,e,n."""
    if indexed():
        return "bbox intersects %s,%s,%s,%s" % (w, s, e, n)
    return "westbc <= %s and eastbc >= %s and southbc <= %s and northbc >= %s" % (e, w, n, s)


def csw_ids(csw, constraints=None, **kwargs):
    """Every id a GetRecords finds, paging by nextRecord."""
    ids, start, pages = [], 1, 0
    while True:
        csw.getrecords2(constraints=constraints or [], startposition=start, esn="brief",
                        maxrecords=kwargs.get("page", 50), **{k: v for k, v in kwargs.items()
                                                             if k != "page"})
        ids += [int(i) for i in csw.records]
        pages += 1
        nxt = csw.results["nextrecord"]
        if not nxt or pages > 100:
            return ids, csw.results["matches"]
        start = nxt


def http(url, data=None, headers=None):
    req = urllib.request.Request(url, data=data, headers=headers or {})
    try:
        with urllib.request.urlopen(req, timeout=30) as r:
            return r.status, r.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


def main():
    tool("init")
    tool("schema", "add", "fgdc", check=False)
    tool("schema", "add", "iso19139", check=False)
    for name, (schema, folder) in COLLECTIONS.items():
        tool("collection", "create", name, "--schema", schema)
        tool("import", name, os.path.join(CORPUS, folder), "--no-notes")
    port_file = os.path.join(WORK, "port" + SUFFIX)
    log_path = os.path.join(WORK, "serve" + SUFFIX + ".log")
    log = open(log_path, "w")
    server = subprocess.Popen([TOOL, "--db", DB, "--catalog", CATALOG, "serve", "--listen",
                               "127.0.0.1:0", "--port-file", port_file, "--max-records", "200"],
                              stderr=log)
    try:
        for _ in range(300):
            if os.path.exists(port_file) or server.poll() is not None:
                break
            time.sleep(0.05)
        port = open(port_file).read().strip()
        base = "http://127.0.0.1:%s" % port
        check_csw(base)
        check_ogcapi(base)
        check_refusals(base)
        check_concurrency(base)
    finally:
        server.send_signal(signal.SIGTERM)
        try:
            code = server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            code = "hung"
        log.close()
        tool("drop-catalog", CATALOG, "--force", check=False)
    expect("server stops cleanly on SIGTERM", code, 0)
    lines = open(log_path).read().splitlines()
    expect("one access line per request",
           sum(1 for line in lines if '"GET ' in line or '"POST ' in line) >= 100, True)
    if failures:
        print("\n".join(failures))
        return 1
    return 0


def check_csw(base):
    csw = CatalogueServiceWeb(base + "/csw")
    expect("capabilities: service type", csw.identification.type, "CSW")
    expect("capabilities: operations",
           {"GetCapabilities", "DescribeRecord", "GetRecords", "GetRecordById", "GetDomain"}
           <= {op.name for op in csw.operations}, True)

    title = fes.PropertyIsLike("dc:title", "%water%")
    ids, matched = csw_ids(csw, [title])
    want = library_ids("title like water")
    expect("GetRecords title like: records", set(ids), want)
    expect("GetRecords title like: matched", matched, len(want))

    box = fes.BBox([-100, 30, -80, 45])
    ids, _ = csw_ids(csw, [box])
    expect("GetRecords BBOX", set(ids), library_ids(box_query(-100, 30, -80, 45)))

    ids, _ = csw_ids(csw, [fes.PropertyIsLike("csw:AnyText", "%river%")])
    expect("GetRecords AnyText", set(ids), any_text_ids("river"))

    ids, _ = csw_ids(csw, [fes.And([fes.PropertyIsLike("apiso:Title", "%Map%"), box])])
    expect("GetRecords And(title, BBOX)", set(ids),
           library_ids("title like Map") & library_ids(box_query(-100, 30, -80, 45)))

    queryables = set()
    for c in csw.get_operation_by_name("GetRecords").constraints:
        if c.name == "SupportedDublinCoreQueryables":
            queryables |= set(c.values)
    expect("capabilities: dc:type and dct:modified queryable",
           {"dc:type", "dct:modified"} <= queryables, True)
    total = sum(len(tool("list", c).splitlines()) - 1 for c in COLLECTIONS)
    # The record's type and date stamp, from each collection's schema. An
    # ISO record stamped with a date-time (its own node, text) counts by its
    # day: the second query finds those records in the ISO collection.
    for name, constraint, query, stamped in [
            ("dc:type =", fes.PropertyIsEqualTo("dc:type", "dataset"), "type = dataset", None),
            ("dct:modified >=", fes.PropertyIsGreaterThanOrEqualTo("dct:modified", "2015-01-01"),
             "modified >= 2015-01-01", "modifiedtime >= 2015-01-01"),
            ("dct:modified =", fes.PropertyIsEqualTo("dct:modified", "2007-12-18"),
             "modified = 2007-12-18", "modifiedtime like 2007-12-18T"),
            ("dct:modified <=", fes.PropertyIsLessThanOrEqualTo("dct:modified", "2014-11-10"),
             "modified <= 2014-11-10", "modifiedtime < 2014-11-11"),
            ("dct:modified between", fes.PropertyIsBetween("dct:modified", "2014-08-06",
                                                           "2018-02-08T00:00:00Z"),
             "modified between 2014-08-06 and 2018-02-08",
             "modifiedtime >= 2014-08-06 and modifiedtime < 2018-02-09"),
            ("dct:modified <>", fes.PropertyIsNotEqualTo("dct:modified", "2007-12-18"),
             "modified <> 2007-12-18",
             "modifiedtime < 2007-12-18 or modifiedtime > 2007-12-19")]:
        ids, matched = csw_ids(csw, [constraint])
        want = library_ids(query)
        if stamped:
            by_time = {r["id"] for r in json.loads(tool("search", ISO, stamped, "--json"))[
                "records"]}
            expect("%s: some records stamped with a date-time" % name, len(by_time) > 0, True)
            want |= by_time
        expect("GetRecords %s: records" % name, (set(ids), matched), (want, len(want)))
        expect("GetRecords %s: selects some, not all" % name, 0 < len(want) < total, True)
    sort = fes.SortBy([fes.SortProperty("dct:modified", "DESC")])
    csw.getrecords2(constraints=[fes.PropertyIsLike("apiso:Title", "%")], esn="summary",
                    maxrecords=3, sortby=sort, outputschema="http://www.opengis.net/cat/csw/2.0.2")
    stamps = [r.modified for r in csw.records.values()]
    expect("SortBy dct:modified DESC", stamps == sorted(stamps, reverse=True) and all(stamps),
           True)

    ids, _ = csw_ids(csw, cql="dc:title LIKE '%water%'")
    expect("GetRecords CQL text", set(ids), library_ids("title like water"))

    everything, matched = csw_ids(csw, page=7)
    expect("paging visits each record once", len(everything), len(set(everything)))
    expect("paging reaches every record", len(everything), matched)

    ids, _ = csw_ids(csw, [fes.Not([fes.Or([title, box])])])
    expect("GetRecords Not(Or(title, BBOX))", set(ids), set(everything) - (
        library_ids("title like water") | library_ids(box_query(-100, 30, -80, 45))))

    csw.getrecords2(esn="full", maxrecords=20, sortby=fes.SortBy([fes.SortProperty("dc:title")]))
    titles = [r.title or "" for r in csw.records.values()]
    expect("SortBy dc:title", titles, sorted(titles))

    iso_ids = [int(line.split("\t")[0]) for line in tool("list", ISO).splitlines()[1:]]
    rid = iso_ids[0]
    csw.getrecordbyid([str(rid)], outputschema=GMD)
    stored = tool("get", ISO, str(rid))
    body = csw.response.decode("utf-8")
    expect("GetRecordById gmd: the record as stored",
           stored.split("?>", 1)[-1].strip() in body, True)
    expect("GetRecordById gmd: parsed by the client", len(csw.records), 1)

    csw.getrecords2(outputschema=GMD, maxrecords=5, esn="full")
    expect("GetRecords in gmd: only ISO records", csw.results["matches"], len(iso_ids))
    expect("GetRecords in gmd: parsed", len(csw.records) > 0, True)

    csw.getdomain("dc:title", dtype="property")
    expect("GetDomain dc:title", len(csw.results["values"]) > 0, True)


def check_ogcapi(base):
    api = Records(base + "/")
    expect("conformance: core",
           "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/core" in
           api.conformance()["conformsTo"], True)
    expect("record collections", sorted(api.records()), sorted(COLLECTIONS))
    q = api.collection_queryables(FGDC)
    expect("queryables", {"title", "geometry", "q"} <= set(q["properties"]), True)

    for c in COLLECTIONS:
        want = {r["id"] for r in json.loads(tool("search", c, "title like water", "--json"))
                ["records"]}
        items = api.collection_items(c, filter="title LIKE '%water%'", limit=200)
        expect("items filter (%s)" % c, {int(f["id"]) for f in items["features"]}, want)
        expect("items numberMatched (%s)" % c, items["numberMatched"], len(want))

    seen, titles, offset = [], [], 0
    while True:
        page = api.collection_items(ISO, limit=30, offset=offset, sortby="-title")
        seen += [f["id"] for f in page["features"]]
        titles += [f["properties"]["title"] for f in page["features"]]
        if not any(link["rel"] == "next" for link in page["links"]):
            break
        offset += 30
    expect("items paging reaches every record once", sorted(int(i) for i in seen),
           sorted(int(line.split("\t")[0]) for line in tool("list", ISO).splitlines()[1:]))
    expect("items sortby -title", titles, sorted(titles, reverse=True))

    items = api.collection_items(ISO, filter="updated >= '2018-01-01'", limit=200)
    stamps = [f["properties"].get("updated", "") for f in items["features"]]
    expect("items filter updated: each on or after the day",
           bool(stamps) and min(stamps) >= "2018-01-01", True)
    expect("items filter updated: date-times among them", any("T" in s for s in stamps), True)

    bbox = api.collection_items(FGDC, bbox=[-100, 30, -80, 45], limit=200)
    expect("items bbox", {int(f["id"]) for f in bbox["features"]},
           {r["id"] for r in json.loads(tool(
               "search", FGDC, box_query(-100, 30, -80, 45), "--json"))["records"]})

    rid = seen[0]
    item = api.collection_item(ISO, rid)
    expect("item id", item["id"], rid)
    status, xml = http("%s/collections/%s/items/%s?f=xml" % (base, ISO, rid))
    expect("item f=xml is the record as stored", xml.decode("utf-8"), tool("get", ISO, rid))


def check_refusals(base):
    def code_of(body):
        text = body.decode("utf-8", "replace")
        at = text.find('exceptionCode="')
        return text[at + 15:text.find('"', at + 15)] if at >= 0 else text[:80]

    cases = [
        ("unknown request", base + "/csw?service=CSW&version=2.0.2&request=Nope", None,
         "OperationNotSupported"),
        ("missing request", base + "/csw?service=CSW", None, "MissingParameterValue"),
        ("bad constraint", base + "/csw?service=CSW&version=2.0.2&request=GetRecords&"
         "resultType=results&constraintLanguage=CQL_TEXT&constraint=dc:title%20LIKE", None,
         "InvalidParameterValue"),
        ("unknown queryable", base + "/csw?service=CSW&version=2.0.2&request=GetRecords&"
         "constraintLanguage=CQL_TEXT&constraint=nope%3D1", None, "InvalidParameterValue"),
        ("document type declaration", base + "/csw",
         b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY e SYSTEM "file:///etc/passwd">]>'
         b'<csw:GetRecords xmlns:csw="http://www.opengis.net/cat/csw/2.0.2">&e;</csw:GetRecords>',
         "NoApplicableCode"),
        ("deep filter", base + "/csw?service=CSW&version=2.0.2&request=GetRecords&"
         "constraintLanguage=CQL_TEXT&constraint=" + "(" * 40 + "dc:title%3D'a'" + ")" * 40,
         None, "InvalidParameterValue"),
    ]
    for name, url, data, want in cases:
        status, body = http(url, data, {"Content-Type": "application/xml"} if data else None)
        expect("refused: " + name, (status, code_of(body)), (400, want))
    for name, path, want in [("no collection", "/collections/nope/items", 404),
                             ("bad limit", "/collections/%s/items?limit=x" % FGDC, 400),
                             ("bad bbox", "/collections/%s/items?bbox=1,2" % FGDC, 400),
                             ("bad filter", "/collections/%s/items?filter=title%%20%%3D" % FGDC,
                              400),
                             ("no record", "/collections/%s/items/999999999" % FGDC, 404)]:
        status, body = http(base + path)
        expect("refused: " + name, (status, "code" in json.loads(body)), (want, True))


def check_concurrency(base):
    errors = []
    urls = [base + "/collections/%s/items?q=water&limit=5" % FGDC,
            base + "/csw?service=CSW&version=2.0.2&request=GetRecords&resultType=results"
            "&constraintLanguage=CQL_TEXT&constraint=dc:title%20LIKE%20'%25Map%25'",
            base + "/collections/%s/items?bbox=-100,30,-80,45" % ISO]

    def client(n):
        for i in range(15):
            status, _ = http(urls[(n + i) % len(urls)])
            if status != 200:
                errors.append(status)

    threads = [threading.Thread(target=client, args=(n,)) for n in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    expect("8 concurrent clients, no failure", errors, [])


if __name__ == "__main__":
    sys.exit(main())
