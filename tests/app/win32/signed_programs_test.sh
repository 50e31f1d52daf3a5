#!/usr/bin/env bash
# Signs copies of the shipped programs as the shipping build does (cmake/sign_program.cmake) with a
# code-signing certificate made here, once with a plain key and once with a password-protected
# one, and checks them with osslsigncode verify; removing the signature must give back the
# program's exact bytes (how a user compares a signed download with his own build). A key that
# does not belong to the certificate fails the step and leaves no program behind.
# Usage: signed_programs_test.sh SIGN_PROGRAM_CMAKE PROGRAM.exe...
set -euo pipefail
script=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

certificate() {  # NAME: NAME.crt and its unencrypted key NAME.key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signer $1" \
    -addext extendedKeyUsage=codeSigning -keyout "$1.key" -out "$1.crt" 2>/dev/null
}
certificate signer
certificate stranger
echo "a password of the test" >password
openssl pkey -in signer.key -aes256 -passout file:password -out signer-encrypted.key

sign() {  # PROGRAM KEY [PASSWORD_FILE]
  cmake -DOSSLSIGNCODE="$(command -v osslsigncode)" -DPROGRAM="$1" -DCERT=signer.crt -DKEY="$2" \
    -DPASSWORD_FILE="${3:-}" -P "$script" >sign.log 2>&1
}
fail() { echo "FAIL: $*"; cat sign.log verify.log 2>/dev/null; exit 1; }

i=0
for program in "$@"; do
  for keys in "signer.key" "signer-encrypted.key password"; do
    i=$((i + 1))
    copy="$i-$(basename "$program")"
    cp "$program" "$copy"
    osslsigncode verify -CAfile signer.crt -in "$copy" >verify.log 2>&1 && fail "$program verifies unsigned"
    # shellcheck disable=SC2086 # the key and its password file
    sign "$copy" $keys || fail "signing $program with $keys"
    osslsigncode verify -CAfile signer.crt -in "$copy" >verify.log 2>&1 || fail "$program signed with $keys"
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
