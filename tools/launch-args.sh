# The launchers' handling of their arguments: sourced by tools/run.sh, and
# copied into every package's "play" by tools/package.sh.  Both start the
# program in another folder than the one they were started in (the program
# finds its data as ../data from its working directory), so the values of
# -mod and -altdir, which are paths, are made absolute from where the
# launcher was started; every other word goes on as it is.  Sets `args`.
launch_args() {
  args=()
  local prev="" a
  for a in "$@"; do
    case "$prev" in
      -mod | -altdir) case "$a" in /* | "") ;; *) a="$PWD/$a" ;; esac ;;
    esac
    args+=("$a")
    prev=$a
  done
}
