package koru.packed;

/** Reached only through a jar appended to the end of another file. */
public class Packed {
  public static String hello() {
    return "hello from the appended jar";
  }
}
