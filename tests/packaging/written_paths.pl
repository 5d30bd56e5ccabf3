#!/usr/bin/perl
# SPDX-License-Identifier: GPL-3.0-or-later
# Reads an strace log (strace -f -y -e trace=<file-changing calls and openat>) and prints every path a
# successful call created, opened for writing, renamed, removed or changed the mode of, one a line;
# with --read, the paths opened read-only instead. Relative paths are joined to the folder strace
# printed for their directory descriptor (-y).
use strict;
use warnings;

my $read = @ARGV && $ARGV[0] eq '--read' ? shift @ARGV : 0;
my $string = qr/"((?:[^"\\]|\\.)*)"/;
my $dirfd = qr/(?:AT_FDCWD|-?\d+)(?:<([^>]*)>)?/;

# "a/b/../c" as "a/c", without asking the file system (the file may be gone by now).
sub tidy {
    my @parts;
    for my $part (split m{/+}, shift) {
        next if $part eq '.';
        if ($part eq '..' && @parts > 1) { pop @parts; next; }
        push @parts, $part;
    }
    return join('/', @parts) || '/';
}

sub join_path {
    my ($dir, $path) = @_;
    return tidy($path) if $path =~ m{^/};
    return tidy(defined $dir ? "$dir/$path" : $path);
}

while (my $line = <>) {
    next if $line =~ /= -1 /;          # failed calls changed nothing
    next unless $line =~ /\b(\w+)\((.*)\) += /;
    my ($call, $args) = ($1, $2);
    my @paths;
    if ($call eq 'openat' && $args =~ /^$dirfd, $string, ([A-Z_|]+)/) {
        my ($dir, $path, $flags) = ($1, $2, $3);
        my $writes = $flags =~ /O_WRONLY|O_RDWR|O_CREAT|O_TRUNC/;
        push @paths, join_path($dir, $path) if ($read ? !$writes : $writes);
    } elsif ($read) {
        next;
    } elsif ($call =~ /^(mkdir|unlink|rmdir|chmod|creat|truncate)$/ && $args =~ /^$string/) {
        push @paths, join_path(undef, $1);
    } elsif ($call =~ /^(mkdirat|unlinkat|fchmodat)$/ && $args =~ /^$dirfd, $string/) {
        push @paths, join_path($1, $2);
    } elsif ($call =~ /^(rename|link|symlink)$/ && $args =~ /^$string, $string/) {
        push @paths, ($call eq 'symlink' ? () : join_path(undef, $1)), join_path(undef, $2);
    } elsif ($call =~ /^(renameat2?|linkat)$/ && $args =~ /^$dirfd, $string, $dirfd, $string/) {
        push @paths, join_path($1, $2), join_path($3, $4);
    } elsif ($call eq 'symlinkat' && $args =~ /^$string, $dirfd, $string/) {
        push @paths, join_path($2, $3);
    }
    print "$_\n" for @paths;
}
