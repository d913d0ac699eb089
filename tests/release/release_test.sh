#!/usr/bin/env bash
# The release command end to end: the same source tree, copied into two different folders and
# released one after the other, gives the same program byte for byte. The second release is signed
# with a throw-away self-made code-signing certificate: the signature verifies, a copy with one
# byte changed does not, and removing the signature gives back the unsigned program byte for byte.
# Usage: release_test.sh SOURCE_ROOT
set -euo pipefail
root=$1

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessaly-release-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
one=$work/one
two=$work/second/a-longer-folder-name
for tree in "$one" "$two"; do
  mkdir -p "$tree"
  tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$tree" -xf -
done

# The index key reaches each build from a different path too.
openssl ecparam -name prime256v1 -genkey -noout -out "$work/index.key"
openssl pkey -in "$work/index.key" -pubout -out "$one/index.pub"
cp "$one/index.pub" "$two/index.pub"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -subj '/CN=Tessaly release test' -addext extendedKeyUsage=codeSigning \
  -addext keyUsage=digitalSignature -keyout "$work/sign.key" -out "$work/sign.crt" 2>/dev/null
echo 'throw-away password' >"$work/pass"
openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.crt" -out "$work/sign.p12" \
  -passout "file:$work/pass"

"$one/scripts/release.sh" --host packages.example.com --index-key "$one/index.pub" "$work/out-one"
"$two/scripts/release.sh" --host packages.example.com --index-key "$two/index.pub" \
  --pkcs12 "$work/sign.p12" --pass-file "$work/pass" --url https://packages.example.com/ \
  --ca-file "$work/sign.crt" "$work/out-two" | tee "$work/release.log"

first=$work/out-one/TessalyInstaller.exe
unsigned=$work/out-two/unsigned/TessalyInstaller.exe
signed=$work/out-two/TessalyInstaller.exe
cmp "$first" "$unsigned" || fail "two releases of the same source differ"
! cmp -s "$unsigned" "$signed" || fail "the signed program is the unsigned one"
for file in "$unsigned" "$signed"; do
  grep -qF "SHA-256 $(sha256sum <"$file" | cut -d' ' -f1)  $file" "$work/release.log" ||
    fail "the release command did not print the SHA-256 of $file"
done

osslsigncode verify -CAfile "$work/sign.crt" -in "$signed" >"$work/verify.log" ||
  { cat "$work/verify.log"; fail "the signed program does not verify"; }
grep -qaxE '[[:space:]]*Text description: Tessaly' "$work/verify.log" ||
  { cat "$work/verify.log"; fail "the signature does not carry the program's plain name"; }

# One byte of the code changed: the signature no longer matches.
tampered=$work/tampered.exe
cp "$signed" "$tampered"
offset=4096
byte=$(od -An -tu1 -j $offset -N1 "$tampered" | tr -d ' ')
printf "\\$(printf %o $((255 - byte)))" | dd of="$tampered" bs=1 seek=$offset conv=notrunc status=none
! cmp -s "$signed" "$tampered" || fail "the tampered copy is unchanged"
if osslsigncode verify -CAfile "$work/sign.crt" -in "$tampered" >"$work/tampered.log" 2>&1; then
  cat "$work/tampered.log"
  fail "a copy with one byte changed verifies"
fi

osslsigncode remove-signature -in "$signed" -out "$work/removed.exe" >/dev/null
cmp "$work/removed.exe" "$unsigned" || fail "removing the signature does not give back the unsigned program"

# A second release into the same folder is refused before anything is built or replaced.
if "$two/scripts/release.sh" --host packages.example.com "$work/out-two" 2>"$work/again.log"; then
  fail "a release over a previous one was not refused"
fi
grep -q 'holds a previous release' "$work/again.log" || { cat "$work/again.log"; fail "no reason given"; }
cmp "$first" "$unsigned" && osslsigncode verify -CAfile "$work/sign.crt" -in "$signed" >/dev/null ||
  fail "the refused release changed the previous one"
echo "release test: reproducible, signed, verified, tamper detected, signature removed exactly"
