#!/usr/bin/env bash
# Signs copies of the shipped programs as the shipping build does (cmake/sign_program.cmake) with a
# code-signing certificate made here, once with a plain key and once with a password-protected
# one and a countersignature of a loopback time-stamp server (time_stamp_server.py), and checks
# them with osslsigncode verify; removing the signature must give back the program's exact bytes
# (how a user compares a signed download with his own build). A key that does not belong to the
# certificate fails the step and leaves no program behind.
# Usage: signed_programs_test.sh SIGN_PROGRAM_CMAKE PROGRAM.exe...
set -euo pipefail
script=$1
shift
work=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill "$server"; rm -rf "$work"' EXIT
cd "$work"

certificate() {  # NAME USAGE: NAME.crt and its unencrypted key NAME.key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test $1" \
    -addext "extendedKeyUsage=$2" -keyout "$1.key" -out "$1.crt" 2>/dev/null
}
certificate signer codeSigning
certificate stranger codeSigning
certificate tsa critical,timeStamping
echo "a password of the test" >password
openssl pkey -in signer.key -aes256 -passout file:password -out signer-encrypted.key

printf '%s\n' "[tsa]" "default_tsa = tsa_config" "[tsa_config]" "serial = $work/tsa.serial" \
  "signer_digest = sha256" "default_policy = 1.2.3.4.1" "digests = sha256" "ess_cert_id_alg = sha256" >tsa.cnf
echo 01 >tsa.serial
mkfifo port
python3 "$(dirname "$0")/time_stamp_server.py" "$work" >port &
server=$!
read -r tsa_port <port

sign() {  # PROGRAM KEY [PASSWORD_FILE [TIMESTAMP_URL]]
  cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -DPROGRAM="$1" -DCERT=signer.crt -DKEY="$2" \
    -DPASSWORD_FILE="${3:-}" -DTIMESTAMP_URL="${4:-}" -P "$script" >sign.log 2>&1
}
fail() { echo "FAIL: $*"; cat sign.log verify.log 2>/dev/null; exit 1; }

i=0
for program in "$@"; do
  for keys in "signer.key" "signer-encrypted.key password http://127.0.0.1:$tsa_port/"; do
    i=$((i + 1))
    copy="$i-$(basename "$program")"
    cp "$program" "$copy"
    osslsigncode verify -CAfile signer.crt -in "$copy" >verify.log 2>&1 && fail "$program verifies unsigned"
    # shellcheck disable=SC2086 # the key, its password file and the time-stamp server
    sign "$copy" $keys || fail "signing $program with $keys"
    osslsigncode verify -CAfile signer.crt -TSA-CAfile tsa.crt -in "$copy" >verify.log 2>&1 ||
      fail "$program signed with $keys"
    case "$keys" in
      *http*) grep -q "Timestamp Server Signature verification: ok" verify.log || fail "$program has no time stamp" ;;
    esac
    osslsigncode verify -CAfile stranger.crt -in "$copy" >verify.log 2>&1 &&
      fail "$program verifies against a certificate that did not sign it"
    osslsigncode remove-signature -in "$copy" -out "$copy.unsigned" >/dev/null
    cmp "$program" "$copy.unsigned" || fail "$program without its signature is not the program built"
  done
  cp "$program" mismatched.exe
  sign mismatched.exe stranger.key && fail "$program signed with a key that is not the certificate's"
  [ ! -e mismatched.exe ] || fail "a failed signing left $program behind"
done
echo "signed and verified: $*"
