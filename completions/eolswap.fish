# SPDX-License-Identifier: BSD-2-Clause
# fish completion for eolswap.
#
# Offers the option letters while options may still come, and file names for
# the input and output operands. Options end at the first operand, at a dash
# alone and at an argument that begins with two dashes; after two operands
# nothing more is offered.

# Prints the number of operands before the cursor, then 1 when the options
# are over or 0 when more may come.
function __eolswap_state
    set -l operands 0
    set -l options_over 0
    for word in (commandline -opc)[2..-1]
        if test $options_over = 1; or test "$word" = -
            or not string match -q -- '-*' $word
            set options_over 1
            set operands (math $operands + 1)
        else if string match -q -- '--*' $word
            set options_over 1
        end
    end
    echo $operands $options_over
end

function __eolswap_options_may_come
    set -l state (string split ' ' (__eolswap_state))
    test $state[2] = 0
end

# A word that begins with a dash is an option while options may come, and
# only then are files left out.
function __eolswap_wants_file
    set -l state (string split ' ' (__eolswap_state))
    test $state[1] -lt 2
    and begin
        test $state[2] = 1
        or not string match -q -- '-*' (commandline -ct)
    end
end

complete -c eolswap -f
complete -c eolswap -n __eolswap_wants_file -F
complete -c eolswap -n __eolswap_options_may_come -s d \
    -d 'convert to DOS line breaks, CR LF (the default)'
complete -c eolswap -n __eolswap_options_may_come -s m \
    -d 'convert to Mac line breaks, CR'
complete -c eolswap -n __eolswap_options_may_come -s u \
    -d 'convert to UNIX line breaks, LF'
complete -c eolswap -n __eolswap_options_may_come -s i \
    -d 'only identify the line breaks, convert nothing'
complete -c eolswap -n __eolswap_options_may_come -s p \
    -d 'refuse to convert input that is not plain text'
complete -c eolswap -n __eolswap_options_may_come -s q \
    -d 'no "Converting ..." line on standard error'
complete -c eolswap -n __eolswap_options_may_come -s v -d 'print the version'
complete -c eolswap -n __eolswap_options_may_come -s h -d 'print the help'
