#!/bin/sh
# Generates the seed corpora of the fuzz targets, one folder per target:
#   fuzz/make_seeds.sh SEED_GENERATOR OUTDIR
# The binary seeds (forks in every carrier, packages from our writer and as
# recipes) come from the generator built with the targets; packages of the
# standard tool come from the real sqlite3; texts are written here.
set -eu

gen=$1
out=$2
rm -rf "$out"
mkdir -p "$out/base64" "$out/url_path" "$out/xml" "$out/project"
"$gen" "$out"

# seed TARGET NAME: standard input becomes the seed.
seed() { cat >"$out/$1/$2"; }

# --- packages made by the standard tool: compressed rows, stored rows, folders
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/Plugin/Build Resources/Linux x86-64" "$tree/Plugin/IDE Resources/Help"
i=0
while [ $i -lt 40 ]; do
    printf 'line %d of a help page that compresses well\n' $i
    i=$((i + 1))
done >"$tree/Plugin/IDE Resources/Help/index.html"
printf '\177ELF\2\1\1\0\0\0\0\0\0\0\0\0\3\0\76\0' >"$tree/Plugin/Build Resources/Linux x86-64/lib.so"
: >"$tree/Plugin/Empty"
sqlite3 "$out/kvx/cli.kvx" -A -c -C "$tree" Plugin
sqlite3 "$out/kvx/cli-one-file.kvx" -A -c -C "$tree/Plugin" Empty

# --- Base64: as project files carry it (76-character lines), and odd forms
printf 'Plugin bytes \0\1\2\377 and more text to fill a few lines of output %s\n' \
    "$(i=0; while [ $i -lt 8 ]; do printf 'x%d' $i; i=$((i + 1)); done)" |
    base64 -w 76 | seed base64 lines76
printf 'TWFu' | seed base64 plain
printf 'TWE=' | seed base64 pad1
printf 'TQ==' | seed base64 pad2
printf 'TW\r\nFu \tTQ==\n' | seed base64 blanks
printf 'TQ=\n=' | seed base64 split-padding
printf 'TW-u' | seed base64 bad-char
printf '' | seed base64 empty

# --- URL paths: what the desktop and project files hand over
printf 'file:///home/user/Plugin/Build%%20Resources/lib.so' | seed url_path file-url
printf 'file://localhost/tmp/a%%2Fb' | seed url_path localhost
printf 'FILE:///tmp/../etc/./passwd' | seed url_path dots
printf '/tmp/plain path/with spaces' | seed url_path plain
printf 'file:///tmp/%%C3%%A9t%%C3%%A9/%%FF%%FE' | seed url_path not-utf8
printf 'file:///tmp/%%00nul' | seed url_path nul
printf 'file:///tmp/bad%%4' | seed url_path short-escape
printf 'file://host/share' | seed url_path other-host
printf 'zpc-volume:/tmp/P.kvx//Build%%20Resources' | seed url_path volume
printf 'relative/path' | seed url_path relative

# --- XML: project files, and the constructs a hostile one could use
seed xml project <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<pluginarchive>
  <pluginitem itemName="Build Resources" type="folder" mutable="false">
    <pluginitem itemName="Linux x86-64" type="folder" mutable="false">
      <pluginitem itemName="lib.so" type="file" mutable="true" content="url">file:///home/user/lib.so</pluginitem>
    </pluginitem>
  </pluginitem>
  <pluginitem itemName="IDE Resources" type="FOLDER" mutable="TRUE">
    <pluginitem itemName="help &amp; &lt;more&gt;" type="file" mutable="false" content="raw">PGh0bWw+
SGVscDwvaHRtbD4=</pluginitem>
  </pluginitem>
</pluginarchive>
XML
seed xml entities <<'XML'
<?xml version="1.0"?>
<!DOCTYPE pluginarchive [
  <!ENTITY name "Build Resources">
  <!ENTITY twice "&name;&name;">
  <!ATTLIST pluginitem mutable CDATA "false">
]>
<pluginarchive><pluginitem itemName="&twice;" type="folder">&#x41;&#66;</pluginitem></pluginarchive>
XML
seed xml entity-bomb <<'XML'
<?xml version="1.0"?>
<!DOCTYPE a [
  <!ENTITY a "aaaaaaaaaa">
  <!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">
  <!ENTITY c "&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;">
  <!ENTITY d "&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;">
]>
<a>&d;</a>
XML
seed xml external <<'XML'
<?xml version="1.0"?>
<!DOCTYPE a [ <!ENTITY x SYSTEM "file:///etc/passwd"> <!ENTITY y PUBLIC "-//x//y" "http://example.invalid/y"> ]>
<a>&x;</a>
XML
seed xml mixed <<'XML'
<?xml version="1.0" encoding="ISO-8859-1"?>
<?app run="yes"?>
<!-- a comment -->
<p:root xmlns:p="urn:p" xmlns="urn:d" p:attr="1"><![CDATA[<not> & markup]]>text<e/><?pi data?><!--c--></p:root>
XML
i=0
deep=''
while [ $i -lt 100 ]; do deep="$deep<d>"; i=$((i + 1)); done
printf '%s' "$deep" | seed xml deep-unclosed
printf '<a b="1" b="2"/>' | seed xml duplicate-attribute
printf '<a>&undefined;</a>' | seed xml undefined-entity
printf '\357\273\277<a>bom</a>' | seed xml bom

# --- project files: what the editor writes, and what a hand-edited one holds
seed project plugin <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<pluginarchive>
  <pluginitem itemName="Build Resources" type="folder" mutable="false">
    <pluginitem itemName="Linux X86" type="folder" mutable="false">
      <pluginitem itemName="lib.so" type="file" mutable="true" content="raw">f0VMRgIBAQAAAAAAAAAAAAMAPgA=</pluginitem>
      <pluginitem itemName="gone.so" type="file" mutable="true" content="url">file:///nonexistent/gone.so</pluginitem>
    </pluginitem>
  </pluginitem>
  <pluginitem itemName="IDE Resources" type="FOLDER" mutable="TRUE">
    <pluginitem itemName="Help" type="folder" mutable="false"/>
    <pluginitem itemName="index &amp; more.html" type="File" mutable="false" content="RAW">PGh0bWw+
SGVscDwvaHRtbD4=</pluginitem>
  </pluginitem>
</pluginarchive>
XML
seed project odd-elements <<'XML'
<pluginarchive><!-- c --><other/>text<pluginitem itemName="" type="folder"><pluginitem itemName="x" type="file" content="raw">eA==</pluginitem></pluginitem><pluginitem itemName="f" type="folder">t<pluginitem itemName="y" type="file" content="raw"><b/>eA==</pluginitem></pluginitem><pluginitem itemName="same" type="file" content="raw">YQ==</pluginitem><pluginitem itemName="SAME" type="file" content="raw">Yg==</pluginitem></pluginarchive>
XML
seed project entities <<'XML'
<?xml version="1.0"?>
<!DOCTYPE pluginarchive [ <!ENTITY n "Build Resources"> <!ENTITY x SYSTEM "file:///etc/passwd"> ]>
<pluginarchive><pluginitem itemName="&n;" type="folder"><pluginitem itemName="p" type="file" content="url">&x;</pluginitem></pluginitem></pluginarchive>
XML
i=0
deep='<pluginarchive>'
while [ $i -lt 60 ]; do deep="$deep<pluginitem itemName=\"d$i\" type=\"folder\">"; i=$((i + 1)); done
printf '%s' "$deep" | seed project deep-unclosed
{
    printf '<pluginarchive><pluginitem itemName="big" type="file" content="raw">'
    head -c 60000 /dev/zero | base64 -w 0
    printf '</pluginitem></pluginarchive>'
} | seed project long-line
printf '<notaplugin/>' | seed project other-root
