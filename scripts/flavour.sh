# Which build the tests and the main job run (sourced by build.sh, run.sh,
# test.sh and main_job.sh; needs $top):
#   i686    the deliverables themselves, where Wine runs 32-bit programs;
#   x86_64  the same sources built for 64-bit Windows, for machines whose
#           kernel runs no 32-bit code. dist/ still gets the i686 build.
# PELORIX_FLAVOUR chooses one explicitly; PELORIX_BUILD_DIR overrides the
# chosen flavour's build folder (build/ or build-x64/).

# Checks PELORIX_FLAVOUR, or asks the probe when it is unset, and exports it.
choose_flavour() {  # who (for the messages)
  case ${PELORIX_FLAVOUR:-} in
    i686 | x86_64) ;;
    "")
      if "$top/scripts/probe_wine32.sh" --quiet; then
        PELORIX_FLAVOUR=i686
      else
        PELORIX_FLAVOUR=x86_64
        echo "$1: $("$top/scripts/probe_wine32.sh" --reason); using the x86_64 flavour (build-x64/) instead" >&2
      fi
      ;;
    *)
      echo "$1: PELORIX_FLAVOUR must be i686 or x86_64, not '$PELORIX_FLAVOUR'" >&2
      return 1
      ;;
  esac
  export PELORIX_FLAVOUR
}

flavour_build_dir() {
  if [ "${PELORIX_FLAVOUR:-i686}" = x86_64 ]; then
    echo "${PELORIX_BUILD_DIR:-$top/build-x64}"
  else
    echo "${PELORIX_BUILD_DIR:-$top/build}"
  fi
}
