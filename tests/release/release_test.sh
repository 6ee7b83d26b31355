#!/usr/bin/env bash
# The release as administrators get it (scripts/release):
#   - made twice, from this tree and from a copy of it elsewhere, built in folders of different
#     paths: the zip and the debug file are the same bytes
#   - the zip: its entries, their times and attributes, the program's size and sections, the
#     version resource against project() in CMakeLists.txt, README.txt, SHA256SUMS
#   - signed with a throwaway code-signing certificate: the signature verifies against the
#     throwaway CA and not against another one, signing twice gives the same bytes, a wrong
#     password or a missing certificate fails and leaves no zip
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
export SOURCE_DATE_EPOCH
unset ZUV_SIGN_PFX ZUV_SIGN_PASSWORD ZUV_SIGN_TIMESTAMP_URL ZUV_SIGN_CAFILE

step "release from $root, built in $first_build"
"$root/scripts/release" --build-dir "$first_build" --out "$work/a" >"$work/a.log" 2>&1 ||
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
    --out "$work/b" >"$work/b.log" 2>&1 || { tail -n 40 "$work/b.log"; exit 1; }
for file in "$name.zip" "$name.debug" SHA256SUMS; do
    if cmp "$work/a/$file" "$work/b/$file"; then
        echo "same bytes: $file ($(stat -c %s "$work/a/$file") bytes, sha256 $(sha256sum <"$work/a/$file" | cut -c1-16)...)"
    else
        problem "$file differs between the two builds"
    fi
done

step "the zip's content"
mkdir -p "$work/unpacked"
python3 - "$work/a/$name.zip" "$work/unpacked" "$version" "$SOURCE_DATE_EPOCH" <<'EOF' || failures=$((failures + 1))
import hashlib, re, struct, sys, time, zipfile
path, folder, version, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
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
for wanted in (f"ZUVPortalSetting {version}\r\n", "## 批量部署（管理员）", "## Deployment for administrators",
               "/quiet /address:", "SHA256SUMS", "Get-AuthenticodeSignature"):
    if wanted not in text:
        bad.append(f"README.txt lacks {wanted!r}")
if "## Overview" in text or "## Running the tests" in text:
    bad.append("README.txt holds more than the deployment sections")
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
print(f"zip: {len(names)} entries, program {len(program)} bytes, README.txt {len(readme)} bytes")
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
    cmp -s "$program" "$work/unpacked/ZUVPortalSetting.exe" && problem "the signed program is the unsigned one"
    sign_release "$work/signed-again" >"$work/signed-again.log" 2>&1 || problem "signing a second time failed"
    cmp "$work/signed/$name.zip" "$work/signed-again/$name.zip" &&
        echo "signed twice: same bytes ($(stat -c %s "$work/signed/$name.zip") bytes)" ||
        problem "signing twice gave different zips"
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
