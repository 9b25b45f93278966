# one line: a value of 2999994 characters (0.000...01), a blank, 2, newline
python3 -c "import sys; sys.stdout.write('0.' + '0' * 2999993 + '1 2\n')" > expr.txt
