#!/usr/bin/perl
# Prints, one a line, "key path<TAB>value name" of every value libhivex
# reads in a hive opened in its unsafe mode: the independent reader the
# damage tests compare with. Nothing when it refuses the hive.
use strict;
use warnings;
use Win::Hivex;

binmode STDOUT, ":encoding(UTF-8)";

my $h = eval { Win::Hivex->open($ARGV[0], unsafe => 1) } or exit 0;
my @queue = ([eval { $h->root() }, ""]);
my %seen;
while (my $item = shift @queue) {
  my ($node, $path) = @$item;
  next if !defined $node || $seen{$node}++;
  for my $v (eval { $h->node_values($node) }) {
    my $name = eval { $h->value_key($v) };
    next if !defined $name || !defined eval { ($h->value_value($v))[1] };
    print "$path\t$name\n";
  }
  for my $c (eval { $h->node_children($node) }) {
    my $name = eval { $h->node_name($c) };
    push @queue, [$c, $path eq "" ? $name : "$path\\$name"] if defined $name;
  }
}
