#!/usr/bin/env bash
# The release as administrators get it (scripts/release):
#   - made twice, from this tree and from a copy of it elsewhere, built in folders of different
#     paths: the zip and the debug file are the same bytes
#   - the zip: its entries, their times and attributes, the program's size and sections, the
#     version resource against project() in CMakeLists.txt, README.txt (the administrators' and
#     the deployment guide of docs/, every heading in order, no links left), SHA256SUMS
#   - the packages (the Windows Installer package, and one with an address built in): the same
#     bytes from both builds; their properties, summary, tables and the program inside, which is
#     the zip's program byte for byte
#   - signed with a throwaway code-signing certificate: the signature verifies against the
#     throwaway CA and not against another one (the program, the package, the custom actions
#     inside it), signing twice gives the same bytes, a wrong password or a missing certificate
#     fails and leaves no zip
#
#   release_test.sh [BUILD_DIR]   BUILD_DIR: the first build's folder (default build/release;
#                                 build/windows, when built, saves compiling the program again)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
first_build=$(realpath -m "${1:-$root/build/release}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
problem() { echo "FAILED: $*"; failures=$((failures + 1)); }
step() { echo "== $*"; }

version=$(sed -n 's/^project(ZUVPortalSetting VERSION \([0-9.]*\) .*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || { echo "no project(ZUVPortalSetting VERSION ...) in CMakeLists.txt"; exit 1; }
name=ZUVPortalSetting-$version
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct)
ZUV_COMMIT=$(git -C "$root" rev-parse HEAD)  # the copy elsewhere is no git checkout
export SOURCE_DATE_EPOCH ZUV_COMMIT
address=gpo.example.com
unset ZUV_SIGN_PFX ZUV_SIGN_PASSWORD ZUV_SIGN_TIMESTAMP_URL ZUV_SIGN_CAFILE

step "release from $root, built in $first_build"
"$root/scripts/release" --build-dir "$first_build" --out "$work/a" --address "$address" >"$work/a.log" 2>&1 ||
    { cat "$work/a.log"; exit 1; }
grep -v '^\[\|^-- \|^Consolidate' "$work/a.log"
grep -q '^program: UNSIGNED' "$work/a.log" || problem "an unsigned release does not say UNSIGNED"

step "release from a copy of the sources elsewhere, built outside them"
mkdir -p "$work/elsewhere/sources"
git -C "$root" ls-files -z --cached --others --exclude-standard |
    tar -C "$root" --null -T - -cf - | tar -C "$work/elsewhere/sources" -xf -
# Compiled from nothing: the compiler cache (cmake/ZuvCompilerCache.cmake) would hand this
# build the first one's objects and prove nothing about compiling.
CCACHE_DISABLE=1 "$work/elsewhere/sources/scripts/release" --build-dir "$work/elsewhere/build" \
    --out "$work/b" --address "$address" >"$work/b.log" 2>&1 || { tail -n 40 "$work/b.log"; exit 1; }
for file in "$name.zip" "$name.debug" "$name-x64.msi" "$name-x64-$address.msi" SHA256SUMS; do
    if cmp "$work/a/$file" "$work/b/$file"; then
        echo "same bytes: $file ($(stat -c %s "$work/a/$file") bytes, sha256 $(sha256sum <"$work/a/$file" | cut -c1-16)...)"
    else
        problem "$file differs between the two builds"
    fi
done

step "the zip's content"
mkdir -p "$work/unpacked"
python3 - "$work/a/$name.zip" "$work/unpacked" "$version" "$SOURCE_DATE_EPOCH" "$root/docs" <<'EOF' || failures=$((failures + 1))
import hashlib, re, struct, sys, time, zipfile
path, folder, version, epoch, docs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5]
bad = []
archive = zipfile.ZipFile(path)
names = [entry.filename for entry in archive.infolist()]
if names != ["README.txt", "SHA256SUMS", "ZUVPortalSetting.exe"]:
    bad.append(f"entries {names}")
for entry in archive.infolist():
    if entry.date_time != time.gmtime(epoch - epoch % 2)[:6]:  # zip times count in 2 s steps
        bad.append(f"{entry.filename}: time {entry.date_time}, not the commit's")
    if entry.extra or entry.external_attr != 0o100644 << 16 or entry.create_system != 3:
        bad.append(f"{entry.filename}: extra fields or attributes {entry.extra} {entry.external_attr:o}")
archive.extractall(folder)
data = {name: open(f"{folder}/{name}", "rb").read() for name in names}
program = data.get("ZUVPortalSetting.exe", b"")
if not 0 < len(program) <= 1 << 20:
    bad.append(f"the program is {len(program)} bytes (at most 1 MiB)")
sums = dict(reversed(line.split("  ", 1)) for line in data.get("SHA256SUMS", b"").decode().splitlines())
for name in ("README.txt", "ZUVPortalSetting.exe"):
    if sums.get(name) != hashlib.sha256(data.get(name, b"")).hexdigest():
        bad.append(f"SHA256SUMS does not match {name}")
readme = data.get("README.txt", b"")
text = readme.decode("utf-8-sig", "replace")
if not readme.startswith(b"\xef\xbb\xbf") or readme.count(b"\n") != readme.count(b"\r\n"):
    bad.append("README.txt: not UTF-8 with a byte-order mark and CRLF line ends")
for wanted in (f"ZUVPortalSetting {version}\r\n", "/quiet /address:", "/undo:original", "start \"\" /wait",
               "SHA256SUMS", "Get-AuthenticodeSignature"):
    if wanted not in text:
        bad.append(f"README.txt lacks {wanted!r}")
# The administrators' guide, then the deployment guide: every heading of both, in their order;
# none of the developers' guide; no Markdown link into files the zip does not hold.
def headings(name):
    lines, fenced = [], False
    for line in open(f"{docs}/{name}", encoding="utf-8").read().splitlines():
        fenced = fenced != line.startswith("```")
        if not fenced and line.startswith("#"):
            lines.append(line)
    return lines
at = 0
shipped = headings("administrators.md") + headings("deploying.md")
for heading in shipped:
    found = text.find(f"\r\n{heading}\r\n", at)
    if found < 0:
        bad.append(f"README.txt lacks the heading {heading!r} (or has it out of order)")
    else:
        at = found + 1
for heading in headings("developers.md"):
    if f"\n{heading}\r" in text:
        bad.append(f"README.txt holds the developers' heading {heading!r}")
left = re.findall(r"\]\((?![A-Za-z][A-Za-z0-9+.-]*:)[^)]*\)", text)
if left:
    bad.append(f"README.txt keeps Markdown links to files it does not hold: {left[:3]}")
# PE header: no time stamp other than the commit's; version resource: the project's version.
pe = struct.unpack_from("<I", program, 0x3C)[0] if len(program) > 0x40 else 0
if program[:2] != b"MZ" or program[pe:pe + 4] != b"PE\0\0":
    bad.append("the program is not a PE file")
elif struct.unpack_from("<I", program, pe + 8)[0] not in (0, epoch):
    bad.append("the PE header carries a build time")
fixed = program.find(struct.pack("<I", 0xFEEF04BD))
if fixed < 0:
    bad.append("no version resource")
else:
    ms, ls = struct.unpack_from("<II", program, fixed + 8)
    got = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"
    if got != version or ls & 0xFFFF:
        bad.append(f"version resource {got}.{ls & 0xFFFF}, project {version}")
for key in ("FileVersion", "ProductVersion"):
    # The key, padding to 4 bytes, the value.
    value = re.escape((key + "\0").encode("utf-16-le")) + b"(?:\0\0)?" + re.escape((version + "\0").encode("utf-16-le"))
    if len(re.findall(value, program)) != 2:  # Chinese and English blocks
        bad.append(f"the version resource's {key} is not {version} in both languages")
for line in bad:
    print("FAILED:", line)
print(f"zip: {len(names)} entries, program {len(program)} bytes, README.txt {len(readme)} bytes"
      f" ({len(shipped)} headings of docs/administrators.md and docs/deploying.md)")
sys.exit(1 if bad else 0)
EOF
objdump=x86_64-w64-mingw32-objdump
sections=$("$objdump" -h "$work/unpacked/ZUVPortalSetting.exe" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
grep -q '^\.debug' <<<"$sections" && problem "the program still has debug sections"
grep -qx '\.gnu_debuglink' <<<"$sections" || problem "the program has no .gnu_debuglink"
"$objdump" -s -j .gnu_debuglink "$work/unpacked/ZUVPortalSetting.exe" | grep -q "ZUVPortal" ||
    problem "the .gnu_debuglink does not name the debug file"
"$objdump" -h "$work/a/$name.debug" | grep -q '\.debug_info' || problem "$name.debug holds no debug information"
"$objdump" -p "$work/unpacked/ZUVPortalSetting.exe" | grep -qi 'DLL Name: libstdc\|DLL Name: libgcc\|DLL Name: libwinpthread' &&
    problem "the program is not static"
for file in "$work/unpacked/ZUVPortalSetting.exe" "$work/a/$name.debug" "$work/b/$name.debug"; do
    if grep -qaF -e "$root" -e "$work" "$file"; then problem "$(basename "$file") names a build path"; fi
done
echo "sections: $(tr '\n' ' ' <<<"$sections")"

step "the packages"
msi=$work/a/$name-x64.msi
python3 - "$msi" "$work/a/$name-x64-$address.msi" "$version" "$SOURCE_DATE_EPOCH" "$address" <<'EOF' || failures=$((failures + 1))
import re, subprocess, sys, time
plain, built_in, version, epoch, address = sys.argv[1:]
bad = []
def table(msi, name):
    text = subprocess.run(["msiinfo", "export", msi, name], capture_output=True, text=True, check=True).stdout
    return [line.rstrip("\r").split("\t") for line in text.splitlines()[3:]]
def properties(msi):
    return {row[0]: row[1] for row in table(msi, "Property")}
guid = re.compile(r"^\{[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\}$")  # uuid5
p = properties(plain)
for key, wanted in {"ProductName": "ZUVPortalSetting", "ProductVersion": version, "Manufacturer": "ZUV",
                    "ALLUSERS": "1", "UpgradeCode": "{375E1C57-0394-4FF7-AE3E-F855F4962BA0}"}.items():
    if p.get(key) != wanted:
        bad.append(f"{key} is {p.get(key)!r}, not {wanted!r}")
if not guid.match(p.get("ProductCode", "")):
    bad.append(f"ProductCode {p.get('ProductCode')!r} is not derived (uuid5)")
if not set(p.get("SecureCustomProperties", "").split(";")) >= {"PORTALADDRESS", "HTTPS", "IEMODE", "RETIRE"}:
    bad.append(f"SecureCustomProperties {p.get('SecureCustomProperties')!r}")
if "PORTALADDRESS" in p:
    bad.append("the plain package has an address built in")
b = properties(built_in)
if b.get("PORTALADDRESS") != address:
    bad.append(f"the built-in package's PORTALADDRESS is {b.get('PORTALADDRESS')!r}")
if b.get("ProductCode") == p.get("ProductCode") or not guid.match(b.get("ProductCode", "")):
    bad.append("the built-in package has no product code of its own")
summary = subprocess.run(["msiinfo", "suminfo", plain], capture_output=True, text=True, check=True).stdout
if "Template: x64;2052" not in summary or not re.search(r"Revision number \(UUID\): \{[0-9A-F-]{36}\}", summary):
    bad.append("summary: " + summary)
created = time.strftime("%a %b %e %H:%M:%S %Y", time.localtime(int(epoch)))
if f"Created: {created}" not in summary:
    bad.append(f"summary time is not the commit's ({created}): {summary}")
components = {row[0]: int(row[3]) for row in table(plain, "Component")}
if not components or any(attributes & 256 == 0 for attributes in components.values()):
    bad.append(f"components not 64-bit: {components}")
actions = {row[0]: row[1] for row in table(plain, "CustomAction")}
for action, kind in {"ZuvCheckSettings": 2049, "ZuvUndoIeMode": 3393, "ZuvWriteIeMode": 3073}.items():
    if actions.get(action) != str(kind):
        bad.append(f"custom action {action} of type {actions.get(action)}, not {kind}")
older = {row[6]: row for row in table(plain, "Upgrade")}.get("ZUV_OLDER_INSTALLED", [""] * 7)
if older[4] != "768" or older[2] != version:
    bad.append(f"the upgrade of this version from another build: {older}")
for line in bad:
    print("FAILED:", line)
print(f"package: product code {p.get('ProductCode')}, {len(components)} components, {len(actions)} custom actions")
sys.exit(1 if bad else 0)
EOF
mkdir -p "$work/msi-files"
(cd "$work/msi-files" && msiextract "$msi" >/dev/null && msiinfo extract "$msi" Binary.Actions >actions.dll) ||
    problem "the package's files cannot be read back"
installed=$(find "$work/msi-files" -name ZUVPortalSetting.exe)
if cmp -s "$installed" "$work/unpacked/ZUVPortalSetting.exe"; then
    echo "the package installs the zip's program"
else
    problem "the program in the package is not the zip's"
fi
actions_dump=$("$objdump" -p "$work/msi-files/actions.dll")
grep -q 'ZuvCheckSettings' <<<"$actions_dump" || problem "the custom actions are not in the package"
if grep -i 'DLL Name:' <<<"$actions_dump" | grep -qiv 'kernel32\|advapi32\|user32\|msvcrt\|msi.dll'; then
    problem "the custom actions import more than system DLLs"
fi
if grep -qaF -e "$root" -e "$work" "$msi"; then problem "the package names a build path"; fi

step "signing with a throwaway code-signing certificate"
ca=$work/ca
mkdir -p "$ca"
make_ca() {  # NAME
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=ZUV throwaway $1" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$ca/$1.key" -out "$ca/$1.pem" 2>/dev/null
}
make_ca test-ca
make_ca other-ca
openssl req -newkey rsa:2048 -nodes -subj "/CN=ZUV throwaway code signing" \
    -keyout "$ca/signer.key" -out "$ca/signer.csr" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >"$ca/signer.ext"
openssl x509 -req -in "$ca/signer.csr" -CA "$ca/test-ca.pem" -CAkey "$ca/test-ca.key" \
    -CAcreateserial -days 3650 -extfile "$ca/signer.ext" -out "$ca/signer.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$ca/signer.key" -in "$ca/signer.pem" -certfile "$ca/test-ca.pem" \
    -passout pass:'throwaway pass' -out "$ca/signer.pfx"
openssl x509 -in "$ca/signer.pem" -noout -ext extendedKeyUsage | tr -s ' \n' ' '; echo

sign_release() {  # OUT [PASSWORD]
    ZUV_SIGN_PFX=$ca/signer.pfx ZUV_SIGN_PASSWORD=${2-throwaway pass} ZUV_SIGN_CAFILE=$ca/test-ca.pem \
        "$root/scripts/release" --build-dir "$first_build" --out "$1"
}
verifies() {  # FILE CA
    osslsigncode verify -CAfile "$2" -in "$1" >"$work/verify.log" 2>&1 && grep -q 'Signature verification: ok' "$work/verify.log"
}
if sign_release "$work/signed" >"$work/signed.log" 2>&1; then
    grep '^program:' "$work/signed.log"
    mkdir -p "$work/signed/unpacked"
    python3 -m zipfile -e "$work/signed/$name.zip" "$work/signed/unpacked"
    program=$work/signed/unpacked/ZUVPortalSetting.exe
    if osslsigncode verify -CAfile "$ca/test-ca.pem" -in "$program" >"$work/verify.log" 2>&1 &&
        grep -q 'Signature verification: ok' "$work/verify.log"; then
        grep -E 'Message digest|Signer.s certificate|Subject:|Signing time|Signature verification|Number of verified' \
            "$work/verify.log" | sed 's/^[[:space:]]*/  /' | sort -u
    else
        cat "$work/verify.log"
        problem "the signed program does not verify against the throwaway CA"
    fi
    if osslsigncode verify -CAfile "$ca/other-ca.pem" -in "$program" >"$work/verify-other.log" 2>&1; then
        problem "the signature verifies against a CA that did not issue the certificate"
    else
        echo "against another CA: not verified, as it must be"
    fi
    (cd "$work/signed/unpacked" && sha256sum --quiet -c SHA256SUMS) || problem "SHA256SUMS does not sum the signed program"
    (($(stat -c %s "$program") <= 1 << 20)) || problem "the signed program is more than 1 MiB"
    signed_msi=$work/signed/$name-x64.msi
    mkdir -p "$work/signed/msi-files"
    (cd "$work/signed/msi-files" && msiextract "$signed_msi" >/dev/null && msiinfo extract "$signed_msi" Binary.Actions >actions.dll)
    for file in "$signed_msi" "$work/signed/msi-files/actions.dll" "$(find "$work/signed/msi-files" -name ZUVPortalSetting.exe)"; do
        if verifies "$file" "$ca/test-ca.pem"; then
            echo "signed: $(basename "$file")"
        else
            cat "$work/verify.log"
            problem "$(basename "$file") does not verify against the throwaway CA"
        fi
        if verifies "$file" "$ca/other-ca.pem"; then
            problem "$(basename "$file") verifies against a CA that did not issue the certificate"
        fi
    done
    (cd "$work/signed" && sha256sum --quiet -c SHA256SUMS) || problem "dist/SHA256SUMS does not sum the signed release"
    grep -q "  $name-x64.msi\$" "$work/signed/SHA256SUMS" || problem "dist/SHA256SUMS does not list the package"
    cmp -s "$program" "$work/unpacked/ZUVPortalSetting.exe" && problem "the signed program is the unsigned one"
    sign_release "$work/signed-again" >"$work/signed-again.log" 2>&1 || problem "signing a second time failed"
    cmp "$work/signed/$name.zip" "$work/signed-again/$name.zip" &&
        echo "signed twice: same bytes ($(stat -c %s "$work/signed/$name.zip") bytes)" ||
        problem "signing twice gave different zips"
    cmp "$signed_msi" "$work/signed-again/$name-x64.msi" &&
        echo "signed twice: the same package ($(stat -c %s "$signed_msi") bytes)" ||
        problem "signing twice gave different packages"
else
    cat "$work/signed.log"
    problem "the signed release failed"
fi

step "signing that cannot work fails and leaves no zip"
if sign_release "$work/wrong" 'not the password' >"$work/wrong.log" 2>&1; then
    problem "a wrong password made a release"
else
    grep -m1 'release: error' "$work/wrong.log"
fi
[[ -e $work/wrong/$name.zip ]] && problem "a failed signing left a zip"
[[ -e $work/wrong/$name-x64.msi ]] && problem "a failed signing left a package"
if ZUV_SIGN_PFX=$ca/missing.pfx ZUV_SIGN_PASSWORD=x "$root/scripts/release" --build-dir "$first_build" \
    --out "$work/missing" >"$work/missing.log" 2>&1; then
    problem "a missing certificate made a release"
else
    grep -m1 'release: error' "$work/missing.log"
fi

if ((failures > 0)); then
    echo "release test: $failures FAILED"
    exit 1
fi
echo "release test: passed"
