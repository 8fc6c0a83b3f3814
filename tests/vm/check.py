# SPDX-License-Identifier: GPL-3.0-or-later
"""Host side of the VM tests: checks what guest.sh left in OUT.

    check.py CASE OUT [ARG]

Corvane's JSON is compared field by field with smartctl 7.3's (-j) from the
same guest and with the identity the emulated drives were given
(devices.env). Every mismatch is reported, then the exit status is 1.
"""
import json
import math
import os
import re
import sys
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))


class Checker:
    def __init__(self, out):
        self.out = out
        self.failures = []
        self.checked = 0

    def fail(self, what):
        self.failures.append(what)

    def eq(self, what, got, want):
        self.checked += 1
        if got != want:
            self.fail(f"{what}: Corvane {got!r}, expected {want!r}")

    def true(self, what, cond, detail=""):
        self.checked += 1
        if not cond:
            self.fail(f"{what}{': ' + detail if detail else ''}")

    def step(self, name, must_succeed=True):
        """Output of one guest step; a failed step is a failure with its stderr."""
        rc_file = os.path.join(self.out, name + ".rc")
        if not os.path.exists(rc_file):
            self.fail(f"step {name} did not run in the guest")
            return None
        rc = int(open(rc_file).read().strip() or "-1")
        text = open(os.path.join(self.out, name + ".out"), errors="replace").read()
        if must_succeed and rc != 0:
            err = open(os.path.join(self.out, name + ".err"), errors="replace").read()
            self.fail(f"step {name} exited with {rc}: {err.strip()[:2000]}")
            return None
        return text

    def json_step(self, name, must_succeed=True):
        text = self.step(name, must_succeed)
        if text is None:
            return None
        try:
            return json.loads(text)
        except ValueError as e:
            self.fail(f"step {name}: not JSON ({e}): {text[:300]!r}")
            return None

    def finish(self, case):
        for f in self.failures:
            print("FAIL:", f)
        print(f"{case}: {self.checked} checks, {len(self.failures)} failures")
        return 1 if self.failures else 0


def devices_env():
    values = {}
    for line in open(os.path.join(HERE, "devices.env")):
        m = re.match(r"^([A-Z_]+)=(.*)$", line.rstrip("\n"))
        if m:
            values[m.group(1)] = m.group(2)
    return values


def plain(v):
    """corvanectl's JSON has plain values (colours are keys of their own,
    "...Color"); an object where a value belongs is returned as it is and
    then fails its comparison."""
    return v


def as_int(v):
    v = plain(v)
    if isinstance(v, bool):
        return int(v)
    if isinstance(v, (int, float)):
        return int(v)
    if isinstance(v, str) and re.fullmatch(r"\s*-?\d+\s*", v):
        return int(v)
    return v


def first_int(text):
    m = re.search(r"-?\d+", str(plain(text)))
    return int(m.group(0)) if m else None


def drive_of(doc):
    """show --json: one object, the drive's properties."""
    return doc if isinstance(doc, dict) else {}


def drives_of(doc):
    """list --json: an array of the drives' properties, in kernel-name order."""
    return doc if isinstance(doc, list) else []


def abbreviates(short, word):
    """smartctl's drive database shortens words ("Ct", "Cel"): same first
    letter, the rest in order."""
    if not short or not word or short[0] != word[0]:
        return False
    rest = iter(word[1:])
    return all(ch in rest for ch in short[1:])


def same_attribute_name(mine, theirs):
    """Corvane names attributes in words ("Reallocated Sector Count"),
    smartctl with underscores and abbreviations ("Reallocated_Sector_Ct")."""
    a = re.split(r"[\s_]+", str(mine).strip().lower())
    b = re.split(r"[\s_]+", str(theirs).strip().lower())
    return len(a) == len(b) and all(x == y or abbreviates(y, x) for x, y in zip(a, b))


def need(c, drive, key, what):
    if key not in drive:
        c.fail(f"{what}: key {key!r} missing")
        return None
    return plain(drive[key])


# --- cases -------------------------------------------------------------------


def check_boot(c):
    dev = devices_env()
    version = c.step("version")
    if version is not None:
        c.true("corvanectl --version", version.startswith("corvanectl "), version)
    sda = c.json_step("smartctl-sda")
    if sda:
        c.eq("smartctl version", sda["smartctl"]["version"], [7, 3])
        c.eq("ATA model (smartctl)", sda.get("model_name"), dev["ATA_MODEL"])
        c.eq("ATA serial (smartctl)", sda.get("serial_number"), dev["ATA_SERIAL"])
        c.eq("ATA firmware (smartctl)", sda.get("firmware_version"), dev["ATA_FIRMWARE"])
        c.eq("ATA rotation (smartctl)", sda.get("rotation_rate"), int(dev["ATA_ROTATION_RATE"]))
        c.eq("ATA capacity (smartctl)", sda.get("user_capacity", {}).get("bytes"),
             int(dev["ATA_SIZE_MIB"]) << 20)
        c.true("ATA attribute table", len(sda.get("ata_smart_attributes", {}).get("table", [])) == 7)
    nvme = c.json_step("smartctl-nvme")
    if nvme:
        c.eq("NVMe serial (smartctl)", nvme.get("serial_number"), dev["NVME_SERIAL"])
        c.eq("NVMe critical warning (smartctl)",
             nvme.get("nvme_smart_health_information_log", {}).get("critical_warning"), 0)
    for name, want in (("udev-sda", {"ID_BUS": "ata", "ID_ATA": "1", "ID_SERIAL_SHORT": dev["ATA_SERIAL"]}),
                       ("udev-nvme", {"ID_SERIAL_SHORT": dev["NVME_SERIAL"]})):
        text = c.step(name)
        if text is not None:
            props = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
            for k, v in want.items():
                c.eq(f"{name} {k}", props.get(k), v)
    c.true("mkfs, mount and unmount of /dev/sda in the guest", c.step("mount") is not None)


def check_list(c):
    dev = devices_env()
    drives = drives_of(c.json_step("list"))
    sda = c.json_step("smartctl-sda") or {}
    nvme = c.json_step("smartctl-nvme") or {}
    c.eq("number of drives listed", len(drives), 2)

    def find(nvme_side):
        for d in drives:
            name = str(plain(d.get("bsdName", "")))
            if plain(d.get("isNVMe")) in (True, 1) if nvme_side else name.endswith("sda"):
                return d
        return None

    ata = find(False)
    if ata is None:
        c.fail("no SATA drive (sda) in the list")
    else:
        c.eq("SATA bsdName", plain(ata.get("bsdName")), "sda")
        c.eq("SATA isNVMe", plain(ata.get("isNVMe")), False)
        c.eq("SATA Device Model", plain(ata.get("Device Model")), dev["ATA_MODEL"])
        c.eq("SATA Serial Number", plain(ata.get("Serial Number")), dev["ATA_SERIAL"])
        c.eq("SATA Firmware Version", plain(ata.get("Firmware Version")), dev["ATA_FIRMWARE"])
        c.eq("SATA User Capacity", as_int(ata.get("User Capacity")), int(dev["ATA_SIZE_MIB"]) << 20)
        # Both strings end in a blank, as the list's own text columns show them.
        c.eq("SATA Drive Type", str(plain(ata.get("Drive Type", ""))).strip(), f"HDD {dev['ATA_ROTATION_RATE']} rpm")
        c.eq("SATA Loc-Con", str(plain(ata.get("Loc-Con", ""))).strip(), "Internal SATA")
    nv = find(True)
    if nv is None:
        c.fail("no NVMe drive in the list")
    else:
        c.eq("NVMe bsdName", plain(nv.get("bsdName")), "nvme0n1")
        c.eq("NVMe Device Model", plain(nv.get("Device Model")), nvme.get("model_name"))
        c.eq("NVMe Serial Number", plain(nv.get("Serial Number")), dev["NVME_SERIAL"])
        c.eq("NVMe Firmware Version", plain(nv.get("Firmware Version")), nvme.get("firmware_version"))
        c.eq("NVMe User Capacity", as_int(nv.get("User Capacity")), int(dev["NVME_SIZE_MIB"]) << 20)
        c.eq("NVMe isNVMe", plain(nv.get("isNVMe")), True)
        c.eq("NVMe Drive Type", str(plain(nv.get("Drive Type", ""))).strip(), "SSD")
        c.eq("NVMe Loc-Con", str(plain(nv.get("Loc-Con", ""))).strip(), "Internal PCI-Express")
    if sda:
        c.eq("smartctl sees the same SATA model", sda.get("model_name"), dev["ATA_MODEL"])


CONDITION = {"": "Never", "now": "FAILING NOW", "past": "In the past"}


def compare_ata(c, drive, sm):
    w = "sda"
    c.eq(f"{w} Device Model", plain(drive.get("Device Model")), sm.get("model_name"))
    c.eq(f"{w} Serial Number", plain(drive.get("Serial Number")), sm.get("serial_number"))
    c.eq(f"{w} Firmware Version", plain(drive.get("Firmware Version")), sm.get("firmware_version"))
    c.eq(f"{w} User Capacity", as_int(drive.get("User Capacity")), sm["user_capacity"]["bytes"])
    # The WWN comes from IDENTIFY only (QEMU's page has no checksum signature,
    # which is valid: the integrity word is optional).
    wwn = plain(drive.get("WWN"))
    if wwn and "wwn" in sm:
        s = sm["wwn"]
        want = "%x" % ((s["naa"] << 60) | (s["oui"] << 36) | s["id"])
        got = re.sub(r"[^0-9a-f]", "", str(wwn).lower().replace("0x", ""))
        c.eq(f"{w} WWN (hex digits)", got, want)
    health = need(c, drive, "health", w)
    if health is not None:
        c.eq(f"{w} health", health, "Passed" if sm["smart_status"]["passed"] else "Failed")

    table = sm["ata_smart_attributes"]["table"]
    attrs = {}
    vsa = drive.get("vsaDict")
    if isinstance(vsa, dict) and vsa:
        attrs = {str(k): v for k, v in vsa.items()}
    elif isinstance(drive.get("vendorspecificAttributes"), list):
        attrs = {str(plain(a.get("ID"))): a for a in drive["vendorspecificAttributes"]}
    else:
        c.fail(f"{w}: neither vsaDict nor vendorspecificAttributes")
    c.eq(f"{w} attribute ids", sorted(attrs, key=lambda x: int(x) if x.isdigit() else 999),
         [str(a["id"]) for a in sorted(table, key=lambda a: a["id"])])
    failing = False
    for a in table:
        mine = attrs.get(str(a["id"]))
        if mine is None:
            continue
        p = f"{w} attribute {a['id']}"
        name = plain(mine.get("attributeName"))
        c.true(f"{p} name", same_attribute_name(name, a["name"]), f"Corvane {name!r}, smartctl {a['name']!r}")
        c.eq(f"{p} value", as_int(mine.get("value")), a["value"])
        c.eq(f"{p} worst", as_int(mine.get("worst")), a["worst"])
        c.eq(f"{p} threshold", as_int(mine.get("threshold")), a["thresh"])
        flags = plain(mine.get("flags"))
        c.eq(f"{p} flags", int(flags, 16) if isinstance(flags, str) and flags else flags, a["flags"]["value"])
        c.eq(f"{p} type", plain(mine.get("type")), "Pre-fail" if a["flags"]["prefailure"] else "Old age")
        c.eq(f"{p} updated", plain(mine.get("updated")), "Always" if a["flags"]["updated_online"] else "Offline")
        c.eq(f"{p} condition", plain(mine.get("condition")), CONDITION.get(a["when_failed"], a["when_failed"]))
        raw = plain(mine.get("rawValue"))
        if raw != a["raw"]["string"]:
            # Same number, different decoration (e.g. "31 (Min/Max 31/31)").
            c.eq(f"{p} raw value (leading number)", first_int(raw), first_int(a["raw"]["string"]))
        else:
            c.checked += 1
        failing = failing or a["when_failed"] == "now"
    if "powerOnHours" in drive:
        nine = [a for a in table if a["id"] == 9]
        if nine:
            c.eq(f"{w} powerOnHours", first_int(drive["powerOnHours"]), first_int(nine[0]["raw"]["string"]))
    if "temperature" in drive and "temperature" in sm:
        c.eq(f"{w} temperature", as_int(drive["temperature"]), sm["temperature"]["current"])
    verdict = need(c, drive, "attributeHealth", w)
    if verdict is not None:
        c.eq(f"{w} attributeHealth", verdict,
             "Failed" if not sm["smart_status"]["passed"] or failing else "Passed")
    compare_selftests(c, drive, sm)
    errors = sm.get("ata_smart_error_log", {}).get("summary", {}).get("count")
    if errors is not None:
        if "lifetimeErrors" in drive:
            c.eq(f"{w} lifetimeErrors", as_int(drive["lifetimeErrors"]), errors)
        if errors == 0:
            c.eq(f"{w} errorLog", drive.get("errorLog", []), [])


def compare_selftests(c, drive, sm):
    log = sm.get("ata_smart_self_test_log", {}).get("standard")
    if log is None:
        return
    table = log.get("table", [])
    mine = drive.get("selftestResults")
    if not isinstance(mine, list):
        c.fail("sda: selftestResults missing")
        return
    c.eq("sda self-test log entries", len(mine), len(table))
    by_num = {as_int(e.get("Num")): e for e in mine}
    for i, t in enumerate(table):
        e = by_num.get(i + 1)
        if e is None:
            c.fail(f"sda self-test entry {i + 1} missing (smartctl: {t['type']['string']})")
            continue
        c.eq(f"sda self-test {i + 1} Type", plain(e.get("Type")), t["type"]["string"])
        status = str(plain(e.get("Status")))
        c.true(f"sda self-test {i + 1} Status", status.startswith(t["status"]["string"]),
               f"Corvane {status!r}, smartctl {t['status']['string']!r}")
        c.eq(f"sda self-test {i + 1} LifetimeHours", as_int(e.get("LifetimeHours")), t["lifetime_hours"])


def nvme_verdict(cw):
    if cw & 0x0C:
        return "Failed"
    if cw & 0x13:
        return "Warning"
    return "Passed"


HEALTH = [  # Corvane key, smartctl key of nvme_smart_health_information_log
    ("criticalWarning", "critical_warning"), ("availableSpare", "available_spare"),
    ("spareThreshold", "available_spare_threshold"), ("percentUsed", "percentage_used"),
    ("dataUnitsReadLo", "data_units_read"), ("dataUnitsWriteLo", "data_units_written"),
    ("hostReadsLo", "host_reads"), ("hostWritesLo", "host_writes"),
    ("controllerBusyLo", "controller_busy_time"), ("powerCyclesLo", "power_cycles"),
    ("powerOnHoursLo", "power_on_hours"), ("unsafeShutdownsLo", "unsafe_shutdowns"),
    ("mediaErrorsLo", "media_errors"), ("lifetimeErrorsLo", "num_err_log_entries"),
    ("warningTempTime", "warning_temp_time"), ("criticalTempTime", "critical_comp_time"),
]


def compare_nvme(c, drive, sm, caps_text):
    w = "nvme"
    c.eq(f"{w} mn", need(c, drive, "mn", w), sm["model_name"])
    c.eq(f"{w} sn", need(c, drive, "sn", w), sm["serial_number"])
    c.eq(f"{w} fr", need(c, drive, "fr", w), sm["firmware_version"])
    c.eq(f"{w} vid", need(c, drive, "vid", w), "%04x" % sm["nvme_pci_vendor"]["id"])
    c.eq(f"{w} ssvid", need(c, drive, "ssvid", w), "%04x" % sm["nvme_pci_vendor"]["subsystem_id"])
    oui = need(c, drive, "oui", w)
    if oui is not None:
        c.eq(f"{w} oui", int(str(oui), 16), sm["nvme_ieee_oui_identifier"])
    c.eq(f"{w} ctlid", as_int(need(c, drive, "ctlid", w)), sm["nvme_controller_id"])
    c.eq(f"{w} nn", as_int(need(c, drive, "nn", w)), sm["nvme_number_of_namespaces"])
    if "User Capacity" in drive:
        c.eq(f"{w} User Capacity", as_int(drive["User Capacity"]), int(devices_env()["NVME_SIZE_MIB"]) << 20)
    log = sm["nvme_smart_health_information_log"]
    for mine, theirs in HEALTH:
        c.eq(f"{w} {mine}", as_int(need(c, drive, mine, w)), log[theirs])
    cw = log["critical_warning"]
    for key, bit in (("lowSpare", 1), ("overTemp", 2), ("lowReliability", 4), ("readOnly", 8), ("failedVMBkup", 16)):
        c.eq(f"{w} {key}", as_int(need(c, drive, key, w)), cw & bit)
    temp = as_int(need(c, drive, "temperature", w))
    if isinstance(temp, int):
        c.eq(f"{w} temperature (K) - 273", temp - 273, log["temperature"])
    t = plain(drive.get("temp_oC"))
    c.true(f"{w} temp_oC", isinstance(t, (int, float)) and abs(t - (log["temperature"] + 273 - 273.15)) < 0.01, repr(t))
    c.eq(f"{w} totalBytesRead", as_int(need(c, drive, "totalBytesRead", w)), log["data_units_read"] * 512000)
    c.eq(f"{w} totalBytesWritten", as_int(need(c, drive, "totalBytesWritten", w)), log["data_units_written"] * 512000)
    c.eq(f"{w} percentRemaining", as_int(need(c, drive, "percentRemaining", w)), max(0, 100 - log["percentage_used"]))
    c.eq(f"{w} attributeHealth", need(c, drive, "attributeHealth", w), nvme_verdict(cw))
    c.eq("smartctl overall health agrees", sm["smart_status"]["passed"], cw == 0)
    if log["num_err_log_entries"] == 0:
        c.eq(f"{w} errorLog", drive.get("errorLog"), [])

    if caps_text is None:
        return
    # smartctl 7.3 has no JSON for these: its -c text is the reference.
    for label, key in (("Warning  Comp. Temp. Threshold", "warning_oC"),
                       ("Critical Comp. Temp. Threshold", "critical_oC")):
        m = re.search(re.escape(label) + r":\s+(\d+) Celsius", caps_text)
        v = plain(drive.get(key))
        if m:
            c.true(f"{w} {key}", isinstance(v, (int, float)) and round(v) == int(m.group(1)),
                   f"Corvane {v!r}, smartctl {m.group(1)} Celsius")
    m = re.search(r"Firmware Updates \(0x([0-9a-f]+)\):\s+(\d+) Slots?(, Slot 1 R/O)?", caps_text)
    slots = drive.get("firmwareSlots")
    if m and isinstance(slots, list):
        c.eq(f"{w} frmw", plain(drive.get("frmw")), m.group(1).lower().zfill(2))
        count = int(m.group(2))
        c.eq(f"{w} firmwareSlotCount", as_int(drive.get("firmwareSlotCount")), count)
        c.eq(f"{w} firmware slots listed", len(slots), count)
        for i, s in enumerate(slots):
            c.eq(f"{w} slot {i + 1} number", as_int(s.get("slot")), i + 1)
            c.eq(f"{w} slot {i + 1} readOnly", plain(s.get("readOnly")), "Yes" if i == 0 and m.group(3) else "No")
            if count == 1:
                c.eq(f"{w} slot 1 active", plain(s.get("active")), "Yes")
        if slots:
            # QEMU's firmware slot log holds "1.0" in slot 1.
            c.eq(f"{w} slot 1 firmwareRevision", str(plain(slots[0].get("firmwareRevision"))).rstrip("\0 "), "1.0")
    else:
        c.fail(f"{w}: firmwareSlots missing or smartctl -c without firmware line")
    rows = re.findall(r"^\s*(\d+)\s+([+-])\s+([\d.]+)W\s+\S+\s+\S+\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(\d+)\s*$",
                      caps_text, re.M)
    states = drive.get("powerStates")
    if not isinstance(states, list):
        c.fail(f"{w}: powerStates missing")
        return
    c.eq(f"{w} power states", len(states), len(rows))
    c.eq(f"{w} npss + 1", as_int(drive.get("npss", -1)) + 1 if isinstance(as_int(drive.get("npss", -1)), int) else None, len(rows))
    for row, s in zip(rows, states):
        st, op, maxw, rl, rt, wl, wt, ent, ex = row
        p = f"{w} power state {st}"
        c.eq(f"{p} state", as_int(s.get("state")), int(st))
        mp = plain(s.get("mp"))
        c.true(f"{p} mp", isinstance(mp, (int, float)) and math.isclose(mp, float(maxw), abs_tol=0.006),
               f"Corvane {mp!r}, smartctl {maxw} W")
        c.eq(f"{p} nops (1 = operational)", as_int(s.get("nops")), 1 if op == "+" else 0)
        for key, v in (("rrl", rl), ("rrt", rt), ("rwl", wl), ("rwt", wt), ("enlat", ent), ("exlat", ex)):
            c.eq(f"{p} {key}", as_int(s.get(key)), int(v))


def smart_readable(sm):
    return bool(sm) and "ata_smart_attributes" in sm


def check_left_enabled(c, name, after_what):
    after = c.json_step(name, must_succeed=False)
    c.true(f"SMART still readable after {after_what}", smart_readable(after),
           "smartctl can no longer read the SMART data: Corvane left SMART disabled on the drive")


def check_show(c):
    ata = c.json_step("show-sda")
    sm = c.json_step("smartctl-sda", must_succeed=False)
    c.true("smartctl reads the SATA drive's SMART data", smart_readable(sm))
    if ata is not None and smart_readable(sm):
        compare_ata(c, drive_of(ata), sm)
    check_left_enabled(c, "smartctl-sda-after", "corvanectl show /dev/sda")
    nv = c.json_step("show-nvme")
    smn = c.json_step("smartctl-nvme", must_succeed=False)
    caps = c.step("smartctl-nvme-c", must_succeed=False)
    if nv is not None and smn:
        compare_nvme(c, drive_of(nv), smn, caps)


def check_critical(c, cw_text):
    cw = int(cw_text, 0)
    nv = c.json_step("show-nvme")
    sm = c.json_step("smartctl-nvme", must_succeed=False)
    if sm:
        c.eq("smartctl critical_warning", sm["nvme_smart_health_information_log"]["critical_warning"], cw)
    if nv is not None:
        d = drive_of(nv)
        c.eq(f"criticalWarning with 0x{cw:02x} injected", as_int(d.get("criticalWarning")), cw)
        want = {0x04: "Failed", 0x02: "Warning"}.get(cw, nvme_verdict(cw))
        c.eq(f"attributeHealth with 0x{cw:02x} injected", plain(d.get("attributeHealth")), want)


def check_selftest(c):
    before = c.json_step("selftest-before", must_succeed=False) or {}
    c.step("test")
    left = c.json_step("selftest-after", must_succeed=False) or {}
    c.true("SMART still readable after corvanectl test short",
           "ata_smart_self_test_log" in left,
           "smartctl can no longer read the self-test log: Corvane left SMART disabled on the drive")
    after = c.json_step("selftest-log", must_succeed=False) or {}
    n0 = before.get("ata_smart_self_test_log", {}).get("standard", {}).get("count", 0)
    log = after.get("ata_smart_self_test_log", {}).get("standard", {})
    c.eq("self-test log entries after corvanectl test short (smartctl)", log.get("count"), n0 + 1)
    if log.get("table"):
        newest = log["table"][0]
        c.eq("newest entry type (smartctl)", newest["type"]["string"], "Short offline")
        c.eq("newest entry status (smartctl)", newest["status"]["string"], "Completed without error")
    show = c.json_step("show-sda")
    if show is not None and after:
        compare_selftests(c, drive_of(show), after)


def flatten(v, prefix=""):
    if isinstance(v, dict):
        out = {}
        for k, x in v.items():
            out.update(flatten(x, f"{prefix}/{k}"))
        return out
    if isinstance(v, list):
        out = {f"{prefix}#len": len(v)}
        for i, x in enumerate(v):
            out.update(flatten(x, f"{prefix}[{i}]"))
        return out
    return {prefix: v}


def check_record(c):
    c.step("record")
    for n in ("sda", "nvme"):
        live = c.json_step(f"show-{n}")
        replay = c.json_step(f"replay-{n}")
        if live is None or replay is None:
            continue
        a, b = flatten(live), flatten(replay)
        diff = [k for k in sorted(set(a) | set(b)) if a.get(k, "<missing>") != b.get(k, "<missing>")]
        c.true(f"{n}: replayed show --json equals the live one", not diff,
               "; ".join(f"{k}: live {a.get(k, '<missing>')!r}, replay {b.get(k, '<missing>')!r}" for k in diff[:20]))


def check_helper(c, cw_text="0"):
    cw = int(cw_text, 0)
    want = {"sda": "Passed", "nvme": "Failed" if cw == 0x04 else "Passed"}
    caps = c.step("user-caps") or ""
    c.true("the user runs without capabilities", caps.split()[-1:] == ["0000000000000000"], caps)
    for n in ("sda", "nvme"):
        root = c.step(f"root-{n}")
        user = c.step(f"user-{n}")
        if root is None or user is None:
            continue
        c.true(f"{n}: show --json as a user (through the helper) equals root's, byte for byte", root == user,
               f"root {len(root)} bytes, user {len(user)} bytes")
        d = drive_of(json.loads(user))
        c.eq(f"{n}: attributeHealth as a user", plain(d.get("attributeHealth")), want[n])
    c.step("user-test", must_succeed=False)
    rc = int(open(os.path.join(c.out, "user-test.rc")).read().strip() or "0")
    err = open(os.path.join(c.out, "user-test.err"), errors="replace").read()
    c.true("a self-test without authorisation fails", rc != 0, f"exit status {rc}")
    c.true("and says the system's policy did not authorise it", "Not authorised by the system's policy" in err, err[:500])
    calls = open(os.path.join(c.out, "polkit-calls.txt")).read().split("\n")
    c.true("polkit was asked for the reads", any(l.startswith("com.tarnholm.corvane.read-smart system-bus-name:") for l in calls))
    c.true("and for the self-test", any(l.startswith("com.tarnholm.corvane.self-test system-bus-name:") for l in calls))
    agent = os.path.join(c.out, "agent-data.json")
    if os.path.exists(os.path.join(c.out, "agent.err")):
        c.true("the agent as that user wrote data.json", os.path.exists(agent),
               open(os.path.join(c.out, "agent.err"), errors="replace").read()[-1500:])
        if os.path.exists(agent):
            health = {d.get("bsdName"): d.get("health") for d in json.load(open(agent))}
            c.eq("the agent's health of sda", health.get("sda"), want["sda"])
            c.eq("the agent's health of nvme0n1", health.get("nvme0n1"), want["nvme"])
    log = open(os.path.join(c.out, "helper-log.txt"), errors="replace").read()
    for line in ("uid 65534 AtaSmartData sda: status 0x00000000", "uid 65534 NvmeIdentify nvme0n1: status 0x00000000",
                 "uid 65534 refused AtaSelfTest: AtaSelfTest sda: not authorised by the system's policy"):
        c.true(f"the helper logs \"{line}\"", line in log, log[-1500:])


def check_mount(c):
    for step in ("mkfs", "mount", "umount"):
        c.step(step)
    text = c.step("events") or ""
    lines = [l.split(None, 1) for l in text.splitlines() if l.strip()]
    c.true("a mount event for /mnt/cv", ["mount", "/mnt/cv"] in lines, text)
    c.true("an unmount event for /mnt/cv", ["unmount", "/mnt/cv"] in lines, text)


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    case, out = sys.argv[1], sys.argv[2]
    c = Checker(out)
    fn = {"boot": check_boot, "list": check_list, "show": check_show, "selftest": check_selftest,
          "record": check_record, "mount": check_mount,
          "helper": check_helper}.get(case)
    if case not in ("critical", "helper") and fn is None:
        print(f"unknown case {case}")
        return 2
    try:
        if case == "critical":
            check_critical(c, sys.argv[3])
        elif case == "helper":
            check_helper(c, *sys.argv[3:4])
        else:
            fn(c)
    except Exception:  # an output shaped unlike expected: report, don't hide the rest
        c.fail("checker stopped on unexpected output:\n" + traceback.format_exc())
    return c.finish(case)


if __name__ == "__main__":
    sys.exit(main())
