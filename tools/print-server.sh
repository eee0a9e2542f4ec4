# A real print server for the tests: CUPS with a cups-pdf queue that writes PDF files
# into a folder the tests read. Sourced by tools/vistrel; safe to run again and again.
#   print_server_start    starts cupsd if none runs, adds the queue, exports PRINTER
#                         (the tests' default printer) and VISTREL_PRINT_OUTPUT
#   print_server_stop     removes the queue and its files, and stops cupsd if it was
#                         started here

print_queue=VistrelTest
print_output=/var/spool/cups-pdf/$print_queue
print_started_cupsd=

print_server_start() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "print server: not root, so CUPS can't be set up; the printing tests will be skipped" >&2
        return 0
    fi
    if ! pgrep -x cupsd >/dev/null; then
        cupsd || { echo "print server: cupsd did not start" >&2; return 0; }
        print_started_cupsd=yes
    fi
    for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q "is running" && break; sleep 0.1; done
    # The queue's own configuration sends its files to our folder, not to a home folder.
    mkdir -p "$print_output"
    chmod 1777 "$print_output"
    printf 'Out %s\nAnonDirName %s\n' "$print_output" "$print_output" > "/etc/cups/cups-pdf-$print_queue.conf"
    # A scheduler just started may not take the queue at once.
    local added=
    for _ in $(seq 10); do
        if lpadmin -p "$print_queue" -v "cups-pdf:/$print_queue" -E -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null; then
            added=yes
            break
        fi
        sleep 1
    done
    [ -n "$added" ] || { echo "print server: the PDF queue could not be created" >&2; return 0; }
    export PRINTER=$print_queue VISTREL_PRINT_OUTPUT=$print_output
}

print_server_stop() {
    [ "$(id -u)" -eq 0 ] || return 0
    lpadmin -x "$print_queue" 2>/dev/null || true
    rm -f "/etc/cups/cups-pdf-$print_queue.conf"
    rm -rf "$print_output"
    if [ -n "$print_started_cupsd" ]; then
        pkill -x cupsd || true
        for _ in $(seq 50); do pgrep -x cupsd >/dev/null || break; sleep 0.1; done
    fi
}
