#!/usr/bin/env bash
# Builds the Debian package from this build, unpacks it and checks that the unpacked copy works:
# ./package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/*.deb)

# Dependencies computed from the shared libraries, Qt 6 among them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6; do
  [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version is not $version"

# Debian's own check of the package: no error, no warning, and every binary hardened.
command -v lintian > /dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
lintian -I --tag-display-limit 0 "$deb" > "$work/lintian.txt" 2>/dev/null || true
if grep -E '^[EW]: |hardening-no-' "$work/lintian.txt"; then fail "lintian"; fi

# The maintainer scripts, run in a scratch root where systemd "runs" (DPKG_ROOT, as dpkg sets it
# for --root), against a systemctl that lists two running instances and a deb-systemd-invoke
# that notes what it is asked.
dpkg-deb -e "$deb" "$work/control"
scratch=$work/scratch
mkdir -p "$scratch/run/systemd/system" "$scratch/var/lib/private/rq55/serve-a" "$scratch/bin"
ln -s private/rq55 "$scratch/var/lib/rq55"
printf '#!/bin/sh\necho "systemctl $*" >> "%s/asked"\n[ "$1" != list-units ] || printf "%%s\\n" "rq55-serve@a.service loaded active running x" "rq55-serve@b.service loaded active running x"\n' "$work" > "$scratch/bin/systemctl"
printf '#!/bin/sh\necho "deb-systemd-invoke $*" >> "%s/asked"\n' "$work" > "$scratch/bin/deb-systemd-invoke"
chmod +x "$scratch/bin/"*
for step in "postinst configure 0.9" "prerm remove" "postrm purge"; do
  set -- $step
  (export DPKG_ROOT="$scratch" PATH="$scratch/bin:$PATH"; sh -e "$work/control/$1" "${@:2}") || fail "$step"
done
expected="systemctl --system daemon-reload
systemctl list-units --plain --no-legend --state=running rq55-serve@*.service
deb-systemd-invoke try-restart rq55-serve@a.service
deb-systemd-invoke try-restart rq55-serve@b.service
systemctl list-units --plain --no-legend rq55-serve@*.service
deb-systemd-invoke stop rq55-serve@a.service
deb-systemd-invoke stop rq55-serve@b.service
systemctl --system daemon-reload"
[[ $(cat "$work/asked") == "$expected" ]] || fail "the maintainer scripts asked: $(cat "$work/asked")"
[[ ! -e $scratch/var/lib/private/rq55 && ! -L $scratch/var/lib/rq55 ]] || fail "purge left the state folders"

dpkg-deb -x "$deb" "$work/root"
usr=$work/root/usr
for executable in rq55 rq55-sim rq55ctl; do
  link=$(readlink "$usr/bin/$executable") || fail "/usr/bin/$executable is not a link"
  [[ $link == ../lib/rq55/$executable ]] || fail "/usr/bin/$executable points to $link"
  [[ $("$usr/bin/$executable" --version) == "$executable $version" ]] || fail "$executable --version"
  page=$usr/share/man/man1/$executable.1.gz
  [[ -f $page ]] || fail "no manual page for $executable"
  MANWIDTH=80 man --warnings -l "$page" > "$work/page.txt" 2> "$work/page.err"
  [[ ! -s $work/page.err ]] || { cat "$work/page.err"; fail "$executable.1 gives warnings"; }
  grep -q "$executable" "$work/page.txt" || fail "$executable.1 renders empty"
done

# The unpacked program finds its panels and texts through the link, up to its main panel.
printf '[SOFTWARE]\nRQ55\\Language\\Language=1\n' > "$work/settings.ini"
out=$(cd "$work" && QT_QPA_PLATFORM=offscreen RQ55_SETTINGS="$work/settings.ini" timeout 60 "$usr/bin/rq55" --check-install 2>/dev/null) \
  || fail "rq55 --check-install from the package: status $?"
[[ $out == *"$usr/lib/rq55/RQ55.uir"* ]] || fail "rq55 read its files from elsewhere: $out"

# rq55ctl runs its report and serve commands from beside its real file, through the link too.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$usr/bin/rq55-sim" --modbus-tcp "$port" --static > /dev/null 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do "$usr/bin/rq55ctl" identify --tcp "127.0.0.1:$port" --modbus-tcp > /dev/null 2>&1 && break; sleep 0.1; done
(cd "$work" && timeout 60 "$usr/bin/rq55ctl" report "$work/r.pdf" --tcp "127.0.0.1:$port" --modbus-tcp 2> /dev/null) \
  | grep -q "report written" || fail "rq55ctl report from the package"
[[ $(head -c 5 "$work/r.pdf") == "%PDF-" ]] || fail "the report from the package is no PDF"
err=$(timeout 10 "$usr/bin/rq55ctl" serve --tcp "127.0.0.1:$port" --mqtt 127.0.0.1:1 --mqtt-topic 'a/+' 2>&1) && fail "serve took a wildcard topic"
[[ $err == *"--mqtt-topic"* ]] || fail "rq55ctl serve from the package: $err"
kill $sim

# The service: systemd's own check, and its exposure (at most 2.0, "OK"), as installed.
# Checked as installed but for its program, which is found in the unpacked tree.
[[ -f $usr/lib/systemd/system/rq55-serve@.service ]] || fail "no rq55-serve@.service"
unit=$work/rq55-serve@.service
sed "s|/usr/bin/rq55ctl|$usr/bin/rq55ctl|" "$usr/lib/systemd/system/rq55-serve@.service" > "$unit"
systemd-analyze verify --man=no "$unit" > "$work/verify.txt" 2>&1 || { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
[[ ! -s $work/verify.txt ]] || { cat "$work/verify.txt"; fail "systemd-analyze verify says something"; }
exposure=$(systemd-analyze security --offline=true "$unit" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p')
[[ -n $exposure ]] && awk "BEGIN { exit !($exposure <= 2.0) }" || fail "the service's exposure is ${exposure:-unknown}, over 2.0"
for conf in serve-site4.conf serve-homeassistant.conf; do
  [[ -f $usr/share/doc/rq55/examples/$conf ]] || fail "no example $conf of the service's options"
done
# The plant's Prometheus files, as installed: both scrape configurations and the alerts' own tests.
examples=$usr/share/doc/rq55/examples/prometheus
for f in prometheus.yml prometheus-tls.yml alerts.yml alerts_test.yml web-config.yml; do
  [[ -f $examples/$f ]] || fail "no examples/prometheus/$f"
done
[[ -f $usr/share/doc/rq55/examples/grafana/rq55.json ]] || fail "no Grafana dashboard"
for check in "check config $examples/prometheus.yml" "check config $examples/prometheus-tls.yml" \
             "test rules $examples/alerts_test.yml"; do
  promtool $check > "$work/promtool.txt" 2>&1 || { cat "$work/promtool.txt"; fail "promtool $check"; }
done

desktop-file-validate "$usr/share/applications/rq55.desktop" || fail "the desktop entry"
[[ -f $usr/share/metainfo/rq55.metainfo.xml ]] || fail "no AppStream metainfo"
zcat "$usr/share/doc/rq55/changelog.gz" | head -1 | grep -q "^rq55 ($version)" || fail "the changelog's version"
for size in 16 32 48 64 128 256; do
  [[ -f $usr/share/icons/hicolor/${size}x$size/apps/rq55.png ]] || fail "no ${size}x$size icon"
done
echo "package $(basename "$deb") checked"
