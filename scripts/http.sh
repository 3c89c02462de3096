# Sourced by the scripts that talk to the node's web page without curl: one HTTP request over
# bash's /dev/tcp, the answer's head and body printed as they came. The body is read by its
# Content-Length, as the node keeps the connection open after answering.
http_request() { # http_request PORT METHOD PATH [BODY [HEADER...]]
    local port=$1 method=$2 path=$3 body=${4-} line length=0
    exec 3<> "/dev/tcp/127.0.0.1/$port" || return 1
    {
        printf '%s %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\n' "$method" "$path" "$port"
        for line in "${@:5}"; do printf '%s\r\n' "$line"; done
        printf 'Content-Length: %s\r\n\r\n%s' "${#body}" "$body"
    } >&3
    while IFS= read -r -t 5 line <&3; do
        printf '%s\n' "${line%$'\r'}"
        line=${line%$'\r'}
        [ -z "$line" ] && break
        case ${line,,} in content-length:*) length=${line#*: } ;; esac
    done
    [ "$length" -gt 0 ] && timeout 5 head -c "$length" <&3
    exec 3>&-
}
