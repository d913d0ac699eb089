#!/usr/bin/env bash
# Builds the installer for release in a fresh build folder, reproducibly (the same commit gives the
# same bytes in any folder, at any time), and signs it with Authenticode when given a certificate.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
description='Tessaly'

usage() {
  cat <<'EOF'
Usage: scripts/release.sh --host HOST[:PORT] [--index-key KEY.pub[@YYYY-MM-DD]]... [SIGNING] [--force] OUTDIR

Builds OUTDIR/TessalyInstaller.exe (32-bit, stripped, reproducible) for the package server HOST,
in a fresh build folder that is removed afterwards, and prints its SHA-256.

  --host HOST[:PORT]     package server built into the installer
  --index-key KEY.pub    the publisher's index key (from tessaly-pack keygen): the installer then
                         refuses every index and file that no key it holds signed. Up to 8
                         (the old and the new key while the key is changed), each optionally
                         with its last day, KEY.pub@YYYY-MM-DD, after which it is refused
  --force                replace the release already in OUTDIR

Signing (Authenticode with osslsigncode, SHA-256): the unsigned program stays in
OUTDIR/unsigned/TessalyInstaller.exe, the signed one is OUTDIR/TessalyInstaller.exe, and the
signature is verified before the SHA-256 of both is printed. Give one source of the certificate:

  --pkcs12 FILE          certificate chain and private key in a PKCS#12 (.pfx/.p12) file
  --pkcs11-module MODULE a hardware token's PKCS#11 module (needs Debian's libengine-pkcs11-openssl)
  --pkcs11-cert CERT       with it: the certificate, as a PKCS#11 URI on the token or a PEM file
  --key KEY_URI            with it: the private key's PKCS#11 URI on the token
and optionally:
  --pass-file FILE       the PKCS#12 password or the token's PIN, on the first line of FILE
  --timestamp URL        RFC 3161 time-stamp server, so the signature outlives the certificate
  --url URL              the publisher's web page, shown with the signature
  --ca-file FILE         trusted root certificates (PEM) for the check after signing
                         (default: the system's, /etc/ssl/certs/ca-certificates.crt)

Exit status: 0 on success, 1 on an error, 2 on bad usage.
EOF
}

fail_usage() {
  echo "release: $1 (see --help)" >&2
  exit 2
}

host='' force=0 outdir=''
index_keys=()
pkcs12='' pkcs11_module='' pkcs11_cert='' key_uri='' pass_file='' timestamp='' url='' ca_file=''
while [ $# -gt 0 ]; do
  case $1 in
    -h | --help) usage; exit 0 ;;
    --force) force=1; shift; continue ;;
    --host | --index-key | --pkcs12 | --pkcs11-module | --pkcs11-cert | --key | --pass-file | \
      --timestamp | --url | --ca-file)
      [ $# -ge 2 ] || fail_usage "$1 needs a value" ;;
    -*) fail_usage "unknown option $1" ;;
    *)
      [ -z "$outdir" ] || fail_usage "one OUTDIR only"
      outdir=$1; shift; continue ;;
  esac
  case $1 in
    --host) host=$2 ;;
    --index-key) index_keys+=("$2") ;;
    --pkcs12) pkcs12=$2 ;;
    --pkcs11-module) pkcs11_module=$2 ;;
    --pkcs11-cert) pkcs11_cert=$2 ;;
    --key) key_uri=$2 ;;
    --pass-file) pass_file=$2 ;;
    --timestamp) timestamp=$2 ;;
    --url) url=$2 ;;
    --ca-file) ca_file=$2 ;;
  esac
  shift 2
done

[ -n "$host" ] || fail_usage "--host is required"
[ -n "$outdir" ] || fail_usage "OUTDIR is required"
signing=0
if [ -n "$pkcs12" ]; then
  signing=1
  [ -z "$pkcs11_module$pkcs11_cert$key_uri" ] || fail_usage "--pkcs12 or --pkcs11-module, not both"
elif [ -n "$pkcs11_module$pkcs11_cert$key_uri" ]; then
  signing=1
  [ -n "$pkcs11_module" ] && [ -n "$pkcs11_cert" ] && [ -n "$key_uri" ] ||
    fail_usage "a token needs --pkcs11-module, --pkcs11-cert and --key"
elif [ -n "$pass_file$timestamp$url$ca_file" ]; then
  fail_usage "--pass-file, --timestamp, --url and --ca-file need --pkcs12 or --pkcs11-module"
fi
# The index keys as CMake takes them: absolute paths, each with its last day, joined by ";".
index_key_list=''
for entry in "${index_keys[@]}"; do
  file=$entry last_day=''
  if [ ! -e "$entry" ] && [[ $entry == *@* ]]; then
    file=${entry%@*} last_day=@${entry##*@}
  fi
  [ -r "$file" ] || { echo "release: cannot read $file" >&2; exit 1; }
  index_key_list+="${index_key_list:+;}$(cd "$(dirname "$file")" && pwd)/$(basename "$file")$last_day"
done
for file in "$pkcs12" "$pass_file" "$ca_file"; do
  [ -z "$file" ] || [ -r "$file" ] || { echo "release: cannot read $file" >&2; exit 1; }
done
if [ $signing = 1 ] && ! command -v osslsigncode >/dev/null; then
  echo "release: osslsigncode is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

# A previous release is replaced only when asked, and nothing else in OUTDIR is touched.
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
previous=()
for name in TessalyInstaller.exe unsigned; do
  [ ! -e "$outdir/$name" ] || previous+=("$outdir/$name")
done
if [ ${#previous[@]} -gt 0 ]; then
  if [ $force = 0 ]; then
    echo "release: $outdir holds a previous release (${previous[*]}); --force replaces it" >&2
    exit 1
  fi
  rm -rf "${previous[@]}"
fi

commit='unknown (not a git checkout)'
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  commit=$(git -C "$root" rev-parse HEAD)
  if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "release: warning: the source tree has uncommitted changes; commit $commit alone does not give this program" >&2
  fi
fi

build=$(mktemp -d "${TMPDIR:-/tmp}/tessaly-release.XXXXXX")
trap 'rm -rf "$build"' EXIT
echo "release: source $root, commit $commit"
echo "release: building TessalyInstaller.exe for http://$host/AppData/ in $build"
configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-toolchain.cmake" -DTESSALY_MINGW_ARCH=i686
  -DTESSALY_PACKAGE_HOST="$host")
if [ -n "$index_key_list" ]; then
  configure+=(-DTESSALY_INDEX_PUBLIC_KEY="$index_key_list")
  echo "release: index keys $index_key_list"
fi
started=$SECONDS
if ! cmake -S "$root" -B "$build" "${configure[@]}" >"$build/configure.log" 2>&1 ||
  ! cmake --build "$build" --target TessalyInstaller -j "$(nproc)" >"$build/build.log" 2>&1; then
  cat "$build/configure.log" "$build/build.log" 2>/dev/null >&2
  echo "release: the build failed" >&2
  exit 1
fi
echo "release: built in $((SECONDS - started)) s"
program=$build/src/TessalyInstaller.exe

if [ $signing = 0 ]; then
  cp "$program" "$outdir/TessalyInstaller.exe"
  echo "SHA-256 $(sha256sum <"$outdir/TessalyInstaller.exe" | cut -d' ' -f1)  $outdir/TessalyInstaller.exe"
  exit 0
fi

# A release whose signing fails leaves nothing in OUTDIR.
mkdir "$outdir/unsigned"
partial=$outdir/TessalyInstaller.exe.partial
trap 'rm -rf "$build" "$partial"; [ -e "$outdir/TessalyInstaller.exe" ] || rm -rf "$outdir/unsigned"' EXIT
unsigned=$outdir/unsigned/TessalyInstaller.exe
cp "$program" "$unsigned"
# osslsigncode stores the description as an IA5String, which holds ASCII only: the product's
# plain name, so that no Windows shows it garbled at the elevation prompt.
sign=(sign -h sha256 -n "$description")
if [ -n "$pkcs12" ]; then
  sign+=(-pkcs12 "$pkcs12")
  source="PKCS#12 file $pkcs12"
else
  sign+=(-pkcs11module "$pkcs11_module" -key "$key_uri")
  if [ -f "$pkcs11_cert" ]; then sign+=(-certs "$pkcs11_cert"); else sign+=(-pkcs11cert "$pkcs11_cert"); fi
  source="PKCS#11 token ($pkcs11_module), key $key_uri"
fi
[ -z "$pass_file" ] || sign+=(-readpass "$pass_file")
[ -z "$url" ] || sign+=(-i "$url")
[ -z "$timestamp" ] || sign+=(-ts "$timestamp")
echo "release: signing with the $source: SHA-256, description \"$description\"${url:+, URL $url}${timestamp:+, time-stamp from $timestamp}"

# The signed program takes its name only once it verifies.
if ! osslsigncode "${sign[@]}" -in "$unsigned" -out "$partial" >"$build/sign.log" 2>&1; then
  cat "$build/sign.log" >&2
  echo "release: signing failed" >&2
  exit 1
fi
verify=(verify -in "$partial")
[ -z "$ca_file" ] || verify+=(-CAfile "$ca_file")
if ! osslsigncode "${verify[@]}" >"$build/verify.log" 2>&1; then
  cat "$build/verify.log" >&2
  echo "release: the signed program does not verify (--ca-file names your certificate's root)" >&2
  exit 1
fi
mv "$partial" "$outdir/TessalyInstaller.exe"
signer=$(sed -n 's/^[[:space:]]*Subject: //p' "$build/verify.log" | head -n 1)
echo "release: signed by $signer; osslsigncode verify${ca_file:+ -CAfile $ca_file}: Succeeded"
echo "SHA-256 $(sha256sum <"$unsigned" | cut -d' ' -f1)  $unsigned (unsigned)"
echo "SHA-256 $(sha256sum <"$outdir/TessalyInstaller.exe" | cut -d' ' -f1)  $outdir/TessalyInstaller.exe (signed)"
