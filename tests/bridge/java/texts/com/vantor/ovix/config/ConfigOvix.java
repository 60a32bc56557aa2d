package com.vantor.ovix.config;

public final class ConfigOvix {
    public static String getLanIp4AddressS() { return null; }
    public static String getWlanIp4AddressS() { return ""; }
    public static String getNonAsciiS() { return "Z\u00fcrich \u20ac \ud834\udd1e"; }
    public static int getAnswer() { return 42; }
    public static int getNegative() { return -2147483648; }
    public static int getFirmwareVersion(int image) { return image == 204 ? 0 : image == 200 ? 1 : 1234567; }
    public static int getUpdateState(int image) { return image == 200 ? 7 : -3; }
    public static String getInputArgumentsS() { // the VM's options but the class path as [a][b]
        return "[" + String.join("][", java.lang.management.ManagementFactory.getRuntimeMXBean().getInputArguments()) + "]";
    }
    public static String getClassPathS() { return System.getProperty("java.class.path"); }
}
